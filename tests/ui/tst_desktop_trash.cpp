// The trash on a real desktop: the program starts with one alarm trashed 20
// days ago and one 10 days ago, the purge at 15 days erases the first; the
// user opens the trash page from the tray menu and, with the keyboard only,
// restores the alarm left and answers the question; the data file then holds
// only that alarm, back out of the trash.
#include "diag/ZelDateTime.h"
#include "store/D_KA_Alarms.h"
#include "support/BaseSupport.h"
#include "support/Desktop.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QRect>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>

using namespace desktop;

namespace {

// The rows of the data file as "title:deleted", or an empty list while it is
// being replaced.
QStringList DataFileRows()
{
    QStringList rows;
    try {
        store::Table t(QStringLiteral("saved"));
        t.loadFromFile(testsupport::DataFile());
        for (int i = 0; i < t.recordCount(); ++i)
            rows << t.withRow(i, [&] {
                QString row = t.fieldByName(AlarmField::Title).asString();
                row += QLatin1Char(':');
                row += t.fieldByName(AlarmField::Deleted).asString();
                return row;
            });
    } catch (const Exception &) {
    }
    rows.sort();
    return rows;
}

} // namespace

class TestDesktopTrash : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { testsupport::InitProgramUnits(); }

    void purgeAtStartThenRestoreFromTheTrashPage()
    {
        testsupport::ClearDataDir();
        testsupport::ClearSettings();
        {
            TdmKaAlarms dm;
            const TDateTime now = zel::Now();
            // Switched off, so that once restored the alarm does not fire.
            testsupport::AddAlarm(dm, now - 20, QStringLiteral("twenty days"), 1, 0);
            testsupport::AddAlarm(dm, now - 10, QStringLiteral("ten days"), 1, 0);
        }
        {
            QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Morvane"),
                        QStringLiteral("Almarik"));
            s.setValue(QStringLiteral("KA2/MainForm/edtOptionsPurgeValue_Position"), QStringLiteral("15"));
            s.setValue(QStringLiteral("KA2/MainForm/cbxOptionsManage_Checked"), QStringLiteral("True"));
        }
        QCOMPARE(DataFileRows(), QStringList({QStringLiteral("ten days:1"), QStringLiteral("twenty days:1")}));

        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(program.waitForStarted());
        const auto stop = qScopeGuard([&program] {
            if (program.state() == QProcess::NotRunning)
                return;
            program.terminate();
            if (!program.waitForFinished(10000))
                program.kill();
        });
        QTRY_VERIFY_WITH_TIMEOUT(TrayIcon().isValid(), 15000);

        // Tray menu: New alarm, Calendar, List, Trash: the window opens on
        // the trash page.
        const QList<QRect> before = VisibleWindows();
        QVERIFY(Click(TrayIcon(), 3));
        QTRY_VERIFY_WITH_TIMEOUT(!NewWindow(before).isEmpty(), 10000);
        QVERIFY(Key({QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Down"),
                     QStringLiteral("Return")}));
        QString window;
        QTRY_VERIFY_WITH_TIMEOUT(!(window = WindowOfSize(QSize(760, 496))).isEmpty(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(ActiveWindowName(), QStringLiteral("Almarik 2"), 10000);

        // The page opens with its table taking the keys, on the only row.
        // Shift+Tab back over the navigation buttons (Last, Next, Prior,
        // First) and "Restore all" to "Restore selected", Space, and Yes (the
        // default) to "Restore alarm  ( ten days ) ?".
        const QString back = QStringLiteral("shift+Tab");
        QVERIFY(Key({back, back, back, back, back, back, QStringLiteral("space")}));
        QVERIFY(WaitUntil([] { return ActiveWindowName().startsWith(QStringLiteral("Confirm")); }, 10000));
        QVERIFY(Key({QStringLiteral("Return")}));

        // The post rewrote the data file: the purged alarm is gone, the other
        // one is out of the trash.
        QTRY_COMPARE_WITH_TIMEOUT(DataFileRows(), QStringList(QStringLiteral("ten days:0")), 10000);
    }
};

QTEST_GUILESS_MAIN(TestDesktopTrash)
#include "tst_desktop_trash.moc"
