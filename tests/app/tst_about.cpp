// The about window and the splash (offscreen): the caption and version, the
// picture, the link labels' colours under the mouse and their clicks, Close,
// the splash without caption bar or Close button at its height, its lines
// and the bar when more lines come than were announced, and the tray menu's
// About item.
#include "app/F_KA_About.h"
#include "app/Startup.h"
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_Utilities.h"
#include "support/ProgramFixture.h"
#include "ui/F_KA_Main.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QScopeGuard>
#include <QTest>
#include <QToolButton>

using namespace testsupport;

class TestAbout : public QObject
{
    Q_OBJECT

    QStringList opened;

private Q_SLOTS:
    void initTestCase()
    {
        InitProgramUnits();
        qputenv("ALMARIK_SITE_URL", "https://almarik.example.org/");
        SetOpenUrlHook([this](const QString &url) {
            opened << url;
            return true;
        });
    }

    void cleanupTestCase() { SetOpenUrlHook({}); }

    void init() { opened.clear(); }

    void about()
    {
        TfmKaAbout about;
        QCOMPARE(about.objectName(), QStringLiteral("fmKaAbout"));
        QCOMPARE(fmKaAbout, &about);
        QCOMPARE(about.windowTitle(), QStringLiteral("About... Almarik 2"));
        QCOMPARE(about.lbVer->text(), QStringLiteral("2.2.2 "));
        QCOMPARE(about.lbTitle->text(), QStringLiteral("Almarik "));
        QCOMPARE(about.size(), QSize(426, 249));
        QVERIFY(about.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!(about.windowFlags() & Qt::FramelessWindowHint));
        // A real picture, not a blank.
        const QImage picture = about.Image->pixmap().toImage();
        QVERIFY(!picture.isNull());
        QVERIFY(picture.pixel(10, 10) != picture.pixel(picture.width() / 2 + 60, picture.height() / 2));
        QVERIFY(!about.lbCopyright->text().isEmpty());
        QVERIFY(!about.lbSite->text().isEmpty());
        QCOMPARE(about.lbCopyright->toolTip(), QStringLiteral("Send Mail"));
        QCOMPARE(about.lbSite->toolTip(), QStringLiteral("Go to Web Site"));
        QCOMPARE(about.lbCopyright->cursor().shape(), Qt::PointingHandCursor);

        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QVERIFY(about.spbClose->isVisible());
        QVERIFY(!about.pn1->isVisible());
        // The desktop test clicks the version line there.
        QVERIFY(QRect(about.lbVer->mapTo(&about, QPoint(0, 0)), about.lbVer->size()).contains(QPoint(150, 46)));
        about.spbClose->click();
        QVERIFY(!about.isVisible());
    }

    // Over the label: maroon; off it: its own colour again.
    void hover_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QColor>("own");
        QTest::newRow("notice") << QStringLiteral("lbCopyright") << QColor(0, 128, 128);
        QTest::newRow("site") << QStringLiteral("lbSite") << QColor(128, 128, 0);
    }

    void hover()
    {
        QFETCH(QString, label);
        QFETCH(QColor, own);
        TfmKaAbout about;
        auto *link = about.findChild<QLabel *>(label);
        QVERIFY(link);
        QCOMPARE(link->palette().color(QPalette::WindowText), own);
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(link, &enter);
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(128, 0, 0));
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(link, &leave);
        QCOMPARE(link->palette().color(QPalette::WindowText), own);
    }

    // A click on the notice writes a mail to the maker, one on the site name
    // opens the site.
    void links()
    {
        // Without a site address the site's name is not offered at all.
        {
            const QByteArray site = qgetenv("ALMARIK_SITE_URL");
            const auto restore = qScopeGuard([&site] { qputenv("ALMARIK_SITE_URL", site); });
            qunsetenv("ALMARIK_SITE_URL");
            TfmKaAbout about;
            about.show();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            QVERIFY(!about.lbSite->isVisible());
        }
        TfmKaAbout about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QTest::mouseClick(about.lbCopyright, Qt::LeftButton);
        QTest::mouseClick(about.lbSite, Qt::LeftButton);
        QCOMPARE(opened.size(), 2);
        QVERIFY(opened[0].startsWith(QStringLiteral("mailto:") + KaVar::SupportMail() + QStringLiteral("?subject=")));
        QVERIFY(opened[0].contains(QStringLiteral("[Almarik 2] ")));
        QCOMPARE(opened[1], KaVar::SiteAddress() + QStringLiteral("?referer=AlmarikSH"));
    }

    void splash()
    {
        TfmKaAbout about;
        TfmKaAbout splash;
        splash.PrepareSplash(6);
        // The splash is never the window of the About item.
        QCOMPARE(fmKaAbout, &about);
        QVERIFY(splash.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(splash.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(splash.height(), 212);
        QCOMPARE(splash.width(), 426);
        QCOMPARE(splash.pgbr->maximum(), 6);
        splash.show();
        QVERIFY(QTest::qWaitForWindowExposed(&splash));
        QVERIFY(!splash.spbClose->isVisible());
        QVERIFY(!splash.pnButton->isVisible());
        QVERIFY(splash.pn1->isVisible());

        // Seven lines for six steps: each line is shown for 20 ms at least,
        // the bar fills with the first six and stays full with the seventh.
        const QStringList lines = startup::SplashLines();
        QList<int> percent;
        for (const QString &line : lines) {
            QElapsedTimer shown;
            shown.start();
            splash.SplashStep(line);
            QVERIFY(shown.elapsed() >= 20);
            QCOMPARE(splash.lbStep->text(), line);
            percent << 100 * splash.pgbr->value() / splash.pgbr->maximum();
        }
        QCOMPARE(percent, QList<int>({16, 33, 50, 66, 83, 100, 100}));
    }

    // The tray menu's About item shows the window, or gives it the focus.
    void menuItem()
    {
        ProgramFixture program;
        program.start();
        {
            TfmKaAbout about;
            QVERIFY(program.window->miAbout->isEnabled());
            program.window->miAbout->trigger();
            QVERIFY(about.isVisible());
            program.window->miAbout->trigger();
            QVERIFY(about.isVisible());
        }
        program.stop();
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
