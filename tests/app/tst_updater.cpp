// The web update check against a web server on 127.0.0.1: the reply's
// filter and the "@@" rules, the date rule, the new-version panel, the
// no-news result (kept from the menu, freed at once when silent), the error
// kept in every mode, the history and download addresses opened through the
// desktop's URL opener, and one window at a time.
#include "app/F_KA_Updater.h"
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_Utilities.h"
#include "support/BaseSupport.h"
#include "support/ProgramFixture.h"
#include "ui/F_KA_Main.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTest>
#include <QToolButton>

using namespace testsupport;

namespace {

const QString UpdateFile = QStringLiteral("soft_update.php");
const QString HistoryFile = QStringLiteral("soft_history.php");

int UpdaterWindows()
{
    int count = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        count += qobject_cast<TfmKAUpdater *>(w) && !w->testAttribute(Qt::WA_WState_Hidden) ? 1 : 0;
    return count;
}

} // namespace

class TestUpdater : public QObject
{
    Q_OBJECT

    LocalWebServer m_server;
    QStringList m_opened;

    void serve(const QByteArray &update, const QByteArray &history = "<p>@@http://127.0.0.1:9/history.htm@@</p>")
    {
        QVERIFY(m_server.put(UpdateFile, update));
        if (history.isEmpty())
            QVERIFY(m_server.remove(HistoryFile));
        else
            QVERIFY(m_server.put(HistoryFile, history));
    }

    // The window of a check from the menu.
    TfmKAUpdater *check(bool silent = false)
    {
        CheckWebUpdate(silent);
        return fmKAUpdater();
    }

private Q_SLOTS:
    void initTestCase()
    {
        InitProgramUnits();
        SetUpdaterStepPause(0);
        QVERIFY(m_server.start());
    }

    void init()
    {
        KaVar::SetLanguageIndex(0);
        qputenv("ALMARIK_SITE_URL", m_server.url().toUtf8());
        m_opened.clear();
        SetOpenUrlHook([this](const QString &url) {
            m_opened << url;
            return true;
        });
    }

    void cleanup()
    {
        delete fmKAUpdater();
        SetOpenUrlHook({});
        qunsetenv("ALMARIK_SITE_URL");
    }

    void addresses()
    {
        qputenv("ALMARIK_SITE_URL", "http://127.0.0.1:9/almarik/");
        QCOMPARE(updater::UpdateAddress(),
                 QStringLiteral("http://127.0.0.1:9/almarik/soft_update.php?referer=AlmarikSH_Update&prodver=2"));
        QCOMPARE(updater::HistoryAddress(), QStringLiteral("http://127.0.0.1:9/almarik/soft_history.php?prodver=2"));
        QCOMPARE(updater::DownloadAddress(),
                 QStringLiteral("http://127.0.0.1:9/almarik/soft_download.php?referer=AlmarikSH_Download&prodver=2"));
        qunsetenv("ALMARIK_SITE_URL");
        QVERIFY(!WebUpdateSiteSet());
        QCOMPARE(updater::UpdateAddress(), QString());
    }

    void replyParse_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("filtered");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("date");
        QTest::newRow("inside markup") << "<html><b>Version</b> 15/01/2003@@2.2.3 <i>new</i></html>"
                                       << "/15/01/2003@@2.2.3//"
                                       << "2.2.3"
                                       << "15/01/2003";
        QTest::newRow("fewer than ten before the marker") << "1/2003@@2.2.3"
                                                          << "1/2003@@2.2.3"
                                                          << "2.2.3"
                                                          << "1/2003@@2.";
        QTest::newRow("no marker: first ten kept, version from the second") << "<p>15.01.2003 v2.2.3</p>"
                                                                            << "15.01.20032.2.3/"
                                                                            << "5.01."
                                                                            << "15.01.2003";
        QTest::newRow("version cut short") << "15/01/2003@@2.2"
                                           << "15/01/2003@@2.2"
                                           << "2.2"
                                           << "15/01/2003";
        QTest::newRow("second marker ignored") << "07/11/2002@@2.2.2 15/01/2003@@2.2.3"
                                               << "07/11/2002@@2.2.215/01/2003@@2.2.3"
                                               << "2.2.2"
                                               << "07/11/2002";
        QTest::newRow("empty") << ""
                               << ""
                               << ""
                               << "";
    }

    void replyParse()
    {
        QFETCH(QString, reply);
        QFETCH(QString, filtered);
        QFETCH(QString, version);
        QFETCH(QString, date);
        QCOMPARE(updater::FilterReply(reply), filtered);
        const updater::UpdateInfo info = updater::ParseUpdateReply(filtered);
        QCOMPARE(info.version, version);
        QCOMPARE(info.date, date);
    }

    void historyAddress_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("address");
        QTest::newRow("between markers") << "<a>@@http://h/history.htm@@</a>"
                                         << "http://h/history.htm";
        QTest::newRow("one marker") << "x@@http://h/history.htm"
                                    << "";
        QTest::newRow("no marker") << "http://h/history.htm"
                                   << "";
        QTest::newRow("empty between") << "@@@@"
                                       << "";
    }

    void historyAddress()
    {
        QFETCH(QString, reply);
        QFETCH(QString, address);
        QCOMPARE(updater::HistoryFileAddress(reply), address);
    }

    void newerDate_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<bool>("newer");
        QTest::newRow("later") << "15/01/2003" << true;
        QTest::newRow("the day after the build") << "08.11.2002" << true;
        QTest::newRow("the build date") << "07/11/2002" << false;
        QTest::newRow("earlier") << "06/11/2002" << false;
        QTest::newRow("4002 is 2002") << "07/11/4002" << false;
        QTest::newRow("4002 is 2002, a day later") << "08/11/4002" << true;
        QTest::newRow("no such day") << "31/02/2003" << false;
        QTest::newRow("not numbers") << "@@/@@/2003" << false;
        QTest::newRow("too short") << "15/01" << false;
        QTest::newRow("empty") << "" << false;
    }

    void newerDate()
    {
        QFETCH(QString, date);
        QFETCH(bool, newer);
        QCOMPARE(updater::IsNewer(date), newer);
    }

    // A newer version: the panel with both versions, History opens the
    // history file, OK with Yes opens the download page and closes.
    void newerVersionShown()
    {
        serve("<html><body><b>Last:</b> 15/01/2003@@2.2.3 <a href=x>get it</a></body></html>");
        TfmKAUpdater *w = check();
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("Almarik 2"));
        QCOMPARE(w->lbTitle->text(), QStringLiteral("Check update"));
        QCOMPARE(w->lbStep->text(), QStringLiteral("Finished"));
        QCOMPARE(w->pgbr->value(), 3);
        QVERIFY(!w->pnInfos->isHidden());
        QCOMPARE(w->lbInfosVer->text(), QStringLiteral("New version is available"));
        QCOMPARE(w->lbVer1->text(), QStringLiteral("2.2.2"));
        QCOMPARE(w->lbVer2->text(), QStringLiteral("2.2.3"));
        QCOMPARE(w->rbUpdate->text(), QStringLiteral("&Yes"));
        QCOMPARE(w->rbNoUpdate->text(), QStringLiteral("&No"));
        QVERIFY(w->rbUpdate->isChecked());
        QVERIFY(w->btnOk->isVisible());
        QVERIFY(w->btnHisto->isEnabled());
        QCOMPARE(w->HistoryFile, QStringLiteral("http://127.0.0.1:9/history.htm"));

        w->btnHisto->click();
        QCOMPARE(m_opened, QStringList{QStringLiteral("http://127.0.0.1:9/history.htm")});
        QVERIFY(fmKAUpdater());
        w->btnOk->click();
        QCOMPARE(m_opened.size(), 2);
        QCOMPARE(m_opened[1], m_server.url(QStringLiteral("soft_download.php?referer=AlmarikSH_Download&prodver=2")));
        QTRY_VERIFY(!fmKAUpdater());
    }

    // No chosen: OK only closes.
    void noUpdateChosen()
    {
        serve("15/01/2003@@2.2.3");
        TfmKAUpdater *w = check();
        QVERIFY(w && !w->pnInfos->isHidden());
        w->rbNoUpdate->click();
        w->btnOk->click();
        QTRY_VERIFY(!fmKAUpdater());
        QVERIFY(m_opened.isEmpty());
    }

    // Not newer: from the menu the result stays shown; silent, the window is
    // freed as soon as the check ends.
    void notNewer_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("silent");
        for (const bool silent : {false, true}) {
            const char *mode = silent ? "silent" : "menu";
            QTest::addRow("equal, %s", mode) << QByteArray("<p>07/11/2002@@2.2.2</p>") << silent;
            QTest::addRow("older, %s", mode) << QByteArray("<p>01/06/2001@@2.1.0</p>") << silent;
            QTest::addRow("4002, %s", mode) << QByteArray("<p>07/11/4002@@2.2.9</p>") << silent;
            QTest::addRow("no date, %s", mode) << QByteArray("<p>no news</p>") << silent;
        }
    }

    void notNewer()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, silent);
        serve(reply);
        TfmKAUpdater *w = check(silent);
        if (silent) {
            QVERIFY(!w);
            QCOMPARE(UpdaterWindows(), 0);
            return;
        }
        QVERIFY(w);
        QVERIFY(w->pnInfos->isHidden());
        QCOMPARE(w->lbResult->text(), QStringLiteral("You have the last version"));
        QVERIFY(w->btnOk->isVisible());
        w->btnOk->click();
        QTRY_VERIFY(!fmKAUpdater());
        QVERIFY(m_opened.isEmpty());
    }

    // A reply without "@@" takes its date from the first ten kept characters.
    void noMarker()
    {
        serve("<p>Version of 15/01/2003, number 2.2.3</p>");
        TfmKAUpdater *w = check(true);
        QVERIFY(w);
        QVERIFY(!w->pnInfos->isHidden());
        QCOMPARE(w->lbVer2->text(), QStringLiteral("5/01/"));
    }

    // A history that cannot be read (or names no address) disables History
    // and reports nothing.
    void noHistory_data()
    {
        QTest::addColumn<QByteArray>("history");
        QTest::newRow("missing page") << QByteArray();
        QTest::newRow("no address") << QByteArray("<p>history</p>");
    }

    void noHistory()
    {
        QFETCH(QByteArray, history);
        serve("15/01/2003@@2.2.3", history);
        TfmKAUpdater *w = check();
        QVERIFY(w && !w->pnInfos->isHidden());
        QVERIFY(!w->btnHisto->isEnabled());
        QCOMPARE(w->lbResult->text(), QString());
    }

    // No server answers, or no site is set: the error stays shown, in silent
    // mode too.
    void error_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::addColumn<bool>("siteSet");
        QTest::addColumn<QString>("message");
        QTest::newRow("closed port, menu") << false << true << "Internet Connect Error";
        QTest::newRow("closed port, silent") << true << true << "Internet Connect Error";
        QTest::newRow("no site, menu") << false << false << "No web site address is set";
    }

    void error()
    {
        QFETCH(bool, silent);
        QFETCH(bool, siteSet);
        QFETCH(QString, message);
        if (siteSet)
            qputenv("ALMARIK_SITE_URL", QStringLiteral("http://127.0.0.1:%1/").arg(ClosedPort()).toUtf8());
        else
            qunsetenv("ALMARIK_SITE_URL");
        TfmKAUpdater *w = check(silent);
        QVERIFY(w);
        QCOMPARE(w->lbResult->text(), QStringLiteral("Error : \r\n\r\n") + message);
        QVERIFY(w->pnInfos->isHidden());
        QVERIFY(w->btnOk->isVisible());
        // The last step ran after the failure (the bar counts it alone).
        QCOMPARE(w->lbStep->text(), QStringLiteral("Finished"));
        QCOMPARE(w->pgbr->value(), 1);
        w->btnOk->click();
        QTRY_VERIFY(!fmKAUpdater());
        QVERIFY(m_opened.isEmpty());
    }

    // A second check while the window is open only brings it to the front:
    // no second window, no second question to the site.
    void oneWindowAtATime()
    {
        serve("15/01/2003@@2.2.3");
        TfmKAUpdater *first = check();
        QVERIFY(first);
        serve("15/01/2004@@2.2.4");
        first->hide();
        QCOMPARE(check(), first);
        QVERIFY(first->isVisible());
        QCOMPARE(first->lbVer2->text(), QStringLiteral("2.2.3"));
        QCOMPARE(UpdaterWindows(), 1);
    }

    // The menu's Check Update runs the check that keeps its window.
    void fromTheMenu()
    {
        serve("<p>07/11/2002@@2.2.2</p>");
        ProgramFixture program;
        program.start();
        const auto stop = qScopeGuard([&program] { program.stop(); });
        QVERIFY(program.window->miCheckUpdate->isEnabled());
        program.window->miCheckUpdate->trigger();
        QVERIFY(fmKAUpdater());
        QCOMPARE(fmKAUpdater()->lbResult->text(), QStringLiteral("You have the last version"));
        QVERIFY(fmKAUpdater()->btnOk->isVisible());
    }

    // The texts follow the language.
    void french()
    {
        KaVar::SetLanguageIndex(1);
        serve("07/11/2002@@2.2.2");
        TfmKAUpdater *w = check();
        QVERIFY(w);
        QCOMPARE(w->lbTitle->text(), QStringLiteral("Vérification mise à jour"));
        QCOMPARE(w->lbStep->text(), QStringLiteral("Terminé"));
        QCOMPARE(w->lbResult->text(), QStringLiteral("Vous possédez la dernière version"));
        QCOMPARE(w->lbAction->text(), QStringLiteral("Voulez-vous mettre à jour maintenant ?"));
        QCOMPARE(w->btnHisto->text(), QStringLiteral("&Historique"));
        QCOMPARE(w->rbUpdate->text(), QStringLiteral("&Oui"));
        QCOMPARE(w->rbNoUpdate->text(), QStringLiteral("&Non"));
    }
};

QTEST_MAIN(TestUpdater)
#include "tst_updater.moc"
