// The interface language on a real desktop: the user opens the options page,
// chooses "Français" and leaves the page; the navigation bar and the tray
// menu show other captions, the program's questions are French, and so it
// stays at the next start; choosing "English" again gives back every English
// caption, pixel for pixel.
#include "store/D_KA_Alarms.h"
#include "support/BaseSupport.h"
#include "support/Desktop.h"
#include "support/ProgramFixture.h"
#include "ui/F_KA_Main.h"

#include <QApplication>
#include <QListWidget>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

using namespace desktop;

namespace {

// Where the user clicks, in the main window's own coordinates, measured on a
// main window of this process built as the program builds it.
struct Places
{
    QPoint calendarButton;
    QPoint optionsButton;
    QPoint english;
    QPoint french;
    QRect navigationBar;
};

Places Measure()
{
    testsupport::ProgramFixture program;
    program.start();
    TfmKaMain *w = program.window;
    w->setAttribute(Qt::WA_DontShowOnScreen);
    w->show();
    w->Notebook->setCurrentIndex(4);
    QApplication::processEvents();
    const auto centre = [w](QWidget *widget) { return widget->mapTo(w, widget->rect().center()); };
    const auto row = [w](int index) {
        QListWidget *list = w->lstOptionsLang;
        return list->viewport()->mapTo(w, list->visualItemRect(list->item(index)).center());
    };
    const Places places{centre(w->btnMenuCalendar), centre(w->btnMenuOptions), row(0), row(1),
                        QRect(w->pnMenu->mapTo(w, QPoint(0, 0)), w->pnMenu->size())};
    w->hide();
    program.stop();
    return places;
}

QString StoredLanguage()
{
    QSettings s(QStringLiteral("Morvane"), QStringLiteral("Almarik"));
    return s.value(QStringLiteral("KA2/MainForm/Language")).toString();
}

// A picture once two in a row are the same (the window has finished
// painting).
QImage Settled(const std::function<QImage()> &shoot)
{
    QImage last = shoot();
    for (int i = 0; i < 50; ++i) {
        QTest::qWait(100);
        QImage next = shoot();
        if (!next.isNull() && next == last)
            return next;
        last = next;
    }
    return {};
}

// Moves the pointer off the program's windows, so no control shows hovered.
bool PointerAway()
{
    return Xdo({QStringLiteral("mousemove"), QStringLiteral("0"), QStringLiteral("0")}).ok();
}

} // namespace

class TestDesktopLanguage : public QObject
{
    Q_OBJECT

    Places places;
    QProcess program;

    void Start()
    {
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(program.waitForStarted());
        QVERIFY(WaitUntil([] { return TrayIcon().isValid(); }, 15000));
    }

    // The tray menu, opened and pictured; the menu stays open.
    // The icon is deaf while the program checks its alarms or runs a long
    // command, as a user would, the test clicks again when no menu comes.
    QImage TrayMenu()
    {
        const QList<QRect> before = VisibleWindows();
        QRect menu;
        for (int click = 1; menu.isEmpty() && click <= 3; ++click) {
            if (!Click(TrayIcon(), 3)) {
                qWarning("The tray icon could not be clicked");
                return {};
            }
            WaitUntil([&] { return !(menu = NewWindow(before)).isEmpty(); }, 5000);
        }
        if (menu.isEmpty()) {
            qWarning("No tray menu after three right clicks");
            return {};
        }
        if (!PointerAway()) {
            qWarning("The pointer could not be moved away");
            return {};
        }
        const QImage picture = Settled([menu] { return ScreenshotOf(menu); });
        if (picture.isNull())
            qWarning("The tray menu did not settle");
        return picture;
    }

    // The main window, opened on the calendar page from the open tray menu.
    QString OpenCalendar()
    {
        if (!Key({QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Return")}))
            return {};
        QString window;
        if (!WaitUntil([&] { return !(window = WindowOfSize(QSize(760, 496))).isEmpty(); }, 10000) ||
            !WaitUntil([] { return ActiveWindowName() == QLatin1String("Almarik 2"); }, 10000))
            return {};
        return window;
    }

    QImage NavigationBar(const QString &window)
    {
        if (!PointerAway())
            return {};
        return Settled([&] { return Screenshot(window).copy(places.navigationBar); });
    }

    // Closing the main window hides it (the tray menu offers more while it is
    // hidden).
    void CloseWindow()
    {
        QVERIFY(Key({QStringLiteral("alt+F4")}));
        QVERIFY(WaitUntil([] { return WindowOfSize(QSize(760, 496)).isEmpty(); }, 10000));
    }

    // Options page, a language, back to the calendar page.
    void ChooseLanguage(const QString &window, const QPoint &entry)
    {
        QVERIFY(ClickIn(window, places.optionsButton));
        QVERIFY(ClickIn(window, entry));
        QVERIFY(ClickIn(window, places.calendarButton));
    }

    // Shutdown, the last entry of the open tray menu: the question's caption
    // is in the program's language (the window manager adds the program's
    // name).
    void Shutdown(const QString &questionCaption)
    {
        QVERIFY(Key({QStringLiteral("Up"), QStringLiteral("Return")}));
        QVERIFY(WaitUntil([&] { return ActiveWindowName().startsWith(questionCaption + QLatin1Char(' ')); }, 10000));
        QVERIFY(Key({QStringLiteral("Return")}));
        QVERIFY(program.waitForFinished(20000));
    }

private Q_SLOTS:
    void initTestCase()
    {
        testsupport::InitProgramUnits();
        places = Measure();
        QVERIFY(!places.navigationBar.isEmpty());
    }

    void cleanup()
    {
        if (program.state() == QProcess::NotRunning)
            return;
        program.terminate();
        if (!program.waitForFinished(10000))
            program.kill();
    }

    void frenchChosenKeptAndUndone()
    {
        testsupport::ClearDataDir();
        testsupport::ClearSettings();
        {
            // The beep, so that leaving the options page needs no sound file.
            QSettings s(QStringLiteral("Morvane"), QStringLiteral("Almarik"));
            s.setValue(QStringLiteral("KA2/MainForm/rbOptionsBeep_Checked"), QStringLiteral("True"));
            s.setValue(QStringLiteral("KA2/MainForm/rbOptionsWave_Checked"), QStringLiteral("False"));
        }

        // English, as designed.
        Start();
        if (QTest::currentTestFailed())
            return;
        const QImage englishMenu = TrayMenu();
        QVERIFY(!englishMenu.isNull());
        QString window = OpenCalendar();
        QVERIFY(!window.isEmpty());
        const QImage englishBar = NavigationBar(window);
        QVERIFY(!englishBar.isNull());

        // "Français" on the options page, then away from the page.
        ChooseLanguage(window, places.french);
        if (QTest::currentTestFailed())
            return;
        QImage frenchBar;
        QVERIFY(
            WaitUntil([&] { return !(frenchBar = NavigationBar(window)).isNull() && frenchBar != englishBar; }, 20000));
        CloseWindow();
        const QImage frenchMenu = TrayMenu();
        QVERIFY(!frenchMenu.isNull());
        QVERIFY(frenchMenu != englishMenu);
        QTRY_COMPARE_WITH_TIMEOUT(StoredLanguage(), QStringLiteral("1"), 10000);
        Shutdown(QStringLiteral("Confirmation"));
        if (QTest::currentTestFailed())
            return;

        // The next start is French.
        Start();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(TrayMenu(), frenchMenu);
        window = OpenCalendar();
        QVERIFY(!window.isEmpty());
        QVERIFY(WaitUntil([&] { return NavigationBar(window) == frenchBar; }, 20000));

        // English again: every caption as it was.
        ChooseLanguage(window, places.english);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(WaitUntil([&] { return NavigationBar(window) == englishBar; }, 20000));
        CloseWindow();
        QCOMPARE(TrayMenu(), englishMenu);
        QTRY_COMPARE_WITH_TIMEOUT(StoredLanguage(), QStringLiteral("0"), 10000);
        Shutdown(QStringLiteral("Confirm"));
    }
};

QTEST_MAIN(TestDesktopLanguage)
#include "tst_desktop_language.moc"
