// The trash page: restoring and erasing one alarm or all of them, with and
// without the questions, the progress window of the two "all" commands and
// its Cancel, the grid's keys, and the purge of old trash alarms at start.
#include "base/ProgressWindow.h"
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_Utilities.h"
#include "diag/ZelDateTime.h"
#include "store/D_KA_Alarms.h"
#include "support/BaseSupport.h"
#include "support/Failure.h"
#include "support/ProgramFixture.h"
#include "ui/F_KA_Main.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSettings>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace testsupport;
using store::Table;

namespace {

// Answers the message dialogs and records their texts while alive.
struct Answers
{
    explicit Answers(int answer)
    {
        SetMessageDialogHook([this, answer](const MessageDialogRequest &r) {
            asked << r.text;
            return answer;
        });
    }
    ~Answers() { SetMessageDialogHook({}); }
    QStringList asked;
};

// Replaces the progress window's pauses while alive: records the window's
// state at each pause and closes the window at the pause of a given step.
struct Pauses
{
    explicit Pauses(int closeAtStep = -1)
    {
        TProgressWindow::SetPauseHook([this, closeAtStep](TProgressWindow *w, int ms) {
            tempos << ms;
            titles << w->windowTitle();
            kinds << w->animation();
            if (lines.isEmpty() || lines.last() != w->statusLine1())
                lines << w->statusLine1();
            if (w->position() == closeAtStep)
                w->close();
        });
    }
    ~Pauses() { TProgressWindow::SetPauseHook({}); }
    QStringList lines;
    QStringList titles;
    QList<int> tempos;
    QList<TProgressWindow::AnimationKind> kinds;
};

QStringList Titles(const Table &t)
{
    QStringList titles;
    const store::Field &title = t.fieldByName(AlarmField::Title);
    for (int i = 0; i < t.recordCount(); ++i)
        titles << t.withRow(i, [&] { return title.asString(); });
    titles.sort();
    return titles;
}

// The titles in the data file, with their Deleted flags ("t:1" in the trash).
QStringList Saved()
{
    Table saved(QStringLiteral("saved"));
    saved.loadFromFile(DataFile());
    QStringList rows;
    for (int i = 0; i < saved.recordCount(); ++i)
        rows << saved.withRow(i, [&] {
            QString row = saved.fieldByName(AlarmField::Title).asString();
            row += QLatin1Char(':');
            row += saved.fieldByName(AlarmField::Deleted).asString();
            return row;
        });
    rows.sort();
    return rows;
}

const QDateTime TestNow(QDate(2026, 6, 15), QTime(12, 0));

} // namespace

class TestTrashPage : public QObject
{
    Q_OBJECT

    ProgramFixture m_program;
    // No command of a test fails.
    std::unique_ptr<CommandErrors> m_commandErrors;
    TdmKaAlarms *m_dm = nullptr;
    TfmKaMain *m_window = nullptr;

    Table &trash() { return m_dm->cdsTrash; }

    // The trash page in front with these alarms in the trash (and "kept" on
    // the list), the first trash alarm selected.
    void trashWith(int count, bool manage)
    {
        AddAlarm(*m_dm, zel::EncodeDateTime(2026, 3, 1, 9, 0), QStringLiteral("kept"));
        for (int i = 1; i <= count; ++i)
            AddAlarm(*m_dm, zel::EncodeDateTime(2026, 3, 1 + i, 9, 30), QStringLiteral("t%1").arg(i), 1);
        m_window->cbxOptionsManage->setChecked(manage);
        m_window->btnMenuClick(m_window->btnMenuTrash);
        trash().first();
    }

    bool trashPictureEmpty() const
    {
        return m_window->btnMenuTrash->icon().cacheKey() == m_window->btnMenuTrashEmpty->icon().cacheKey();
    }

private Q_SLOTS:
    void initTestCase() { InitProgramUnits(); }

    void init()
    {
        m_commandErrors = std::make_unique<CommandErrors>();
        m_program.start();
        m_dm = m_program.dm;
        m_window = m_program.window;
    }

    void cleanup()
    {
        m_program.stop();
        const QStringList failures = m_commandErrors->texts;
        m_commandErrors.reset();
        QCOMPARE(failures, QStringList());
    }

    void oneAlarm_data()
    {
        QTest::addColumn<bool>("erase");
        QTest::addColumn<bool>("manage");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<bool>("acts");
        const QStringList eraseQ{QStringLiteral("Delete alarm  ( t1 ) ?")};
        const QStringList restoreQ{QStringLiteral("Restore alarm  ( t1 ) ?")};
        QTest::newRow("erase, asked, yes") << true << true << int(mrYes) << eraseQ << true;
        QTest::newRow("erase, asked, no") << true << true << int(mrNo) << eraseQ << false;
        QTest::newRow("erase, not asked") << true << false << int(mrNo) << QStringList() << true;
        QTest::newRow("restore, asked, yes") << false << true << int(mrYes) << restoreQ << true;
        QTest::newRow("restore, asked, no") << false << true << int(mrNo) << restoreQ << false;
        QTest::newRow("restore, not asked") << false << false << int(mrNo) << QStringList() << true;
    }

    void oneAlarm()
    {
        QFETCH(bool, erase);
        QFETCH(bool, manage);
        QFETCH(int, answer);
        QFETCH(QStringList, asked);
        QFETCH(bool, acts);
        trashWith(2, manage);
        QCOMPARE(trash().fieldByName(AlarmField::Title).asString(), QStringLiteral("t1"));
        QCOMPARE(m_window->pnTrashCount->text(), QStringLiteral("2 Alarms  "));
        {
            Answers answers(answer);
            if (erase)
                m_window->btnTrashErase->click();
            else
                m_window->btnTrashRecover->click();
            QCOMPARE(answers.asked, asked);
        }
        const QStringList before{QStringLiteral("kept:0"), QStringLiteral("t1:1"), QStringLiteral("t2:1")};
        if (!acts) {
            QCOMPARE(Titles(trash()), QStringList({QStringLiteral("t1"), QStringLiteral("t2")}));
            QCOMPARE(Saved(), before);
            return;
        }
        QCOMPARE(Titles(trash()), QStringList(QStringLiteral("t2")));
        QCOMPARE(m_window->pnTrashCount->text(), QStringLiteral("1 Alarms  "));
        // The memo follows the selection.
        QCOMPARE(trash().fieldByName(AlarmField::Title).asString(), QStringLiteral("t2"));
        QCOMPARE(m_window->moTrash->toPlainText(), trash().fieldByName(AlarmField::Comments).asString());
        if (erase) {
            QVERIFY(!m_dm->cdsAlarms.locate(AlarmField::Title, QStringLiteral("t1")));
            // Not a post: the data file still holds it until the next save,
            // which the end of the program makes.
            QCOMPARE(Saved(), before);
            m_program.stop();
            QCOMPARE(Saved(), QStringList({QStringLiteral("kept:0"), QStringLiteral("t2:1")}));
            m_program.start();
        } else {
            QVERIFY(m_dm->cdsAlarms.locate(AlarmField::Title, QStringLiteral("t1")));
            QCOMPARE(m_dm->cdsAlarms.fieldByName(AlarmField::Deleted).asInteger(), 0);
            // The post saved the data file.
            QCOMPARE(Saved(), QStringList({QStringLiteral("kept:0"), QStringLiteral("t1:0"), QStringLiteral("t2:1")}));
        }
    }

    void theMemoShowsTheSelectedComments()
    {
        trashWith(0, false);
        AddAlarm(*m_dm, zel::EncodeDateTime(2026, 3, 5, 9, 0), QStringLiteral("a"), 1);
        AddAlarm(*m_dm, zel::EncodeDateTime(2026, 3, 6, 9, 0), QStringLiteral("b"), 1);
        for (const QString &t : {QStringLiteral("a"), QStringLiteral("b")}) {
            QVERIFY(m_dm->cdsAlarms.locate(AlarmField::Title, t));
            m_dm->cdsAlarms.edit();
            m_dm->cdsAlarms.fieldByName(AlarmField::Comments).setAsString(QStringLiteral("note of ") + t);
            m_dm->cdsAlarms.post();
        }
        m_window->btnMenuClick(m_window->btnMenuTrash);
        m_window->btnTrashFirst->click();
        QCOMPARE(m_window->moTrash->toPlainText(), QStringLiteral("note of a"));
        QVERIFY(!m_window->btnTrashPrior->isEnabled());
        m_window->btnTrashNext->click();
        QCOMPARE(m_window->moTrash->toPlainText(), QStringLiteral("note of b"));
        m_window->btnTrashFirst->click();
        m_window->btnTrashLast->click();
        QCOMPARE(trash().fieldByName(AlarmField::Title).asString(), QStringLiteral("b"));
        m_window->btnTrashPrior->click();
        QCOMPARE(m_window->moTrash->toPlainText(), QStringLiteral("note of a"));
    }

    void eraseAllQuestion_data()
    {
        QTest::addColumn<bool>("manage");
        QTest::addColumn<bool>("withSender");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("acts");
        QTest::newRow("click, asked, yes") << true << true << int(mrYes) << true << true;
        QTest::newRow("click, asked, no") << true << true << int(mrNo) << true << false;
        QTest::newRow("click, option clear") << false << true << int(mrNo) << false << true;
        QTest::newRow("no sender, option ticked") << true << false << int(mrNo) << false << true;
    }

    void eraseAllQuestion()
    {
        QFETCH(bool, manage);
        QFETCH(bool, withSender);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(bool, acts);
        trashWith(3, manage);
        Pauses pauses;
        Answers answers(answer);
        if (withSender)
            m_window->btnTrashEraseAll->click();
        else
            m_window->btnTrashEraseAllClick(nullptr);
        QCOMPARE(answers.asked, asked ? QStringList(QStringLiteral("Purge all alarms ?")) : QStringList());
        QCOMPARE(trash().recordCount(), acts ? 0 : 3);
        if (!acts)
            return;
        QCOMPARE(pauses.lines, QStringList({QStringLiteral("Parsing record 1"), QStringLiteral("Parsing record 2"),
                                            QStringLiteral("Parsing record 3")}));
        QVERIFY(pauses.titles.count(QStringLiteral("Erasing...")) == pauses.titles.size());
        QVERIFY(pauses.tempos.count(40) == pauses.tempos.size());
        QVERIFY(pauses.kinds.count(TProgressWindow::AnimationKind::EmptyRecycleBin) == pauses.kinds.size());
        QVERIFY(!m_window->dlgProgress->isVisible());
        QCOMPARE(m_window->dlgProgress->statusLine2(), QString());
        QCOMPARE(Titles(m_dm->cdsAlarms), QStringList(QStringLiteral("kept")));
        QVERIFY(trashPictureEmpty());
        m_program.stop();
        QCOMPARE(Saved(), QStringList(QStringLiteral("kept:0")));
        m_program.start();
    }

    void restoreAllAlwaysAsks_data()
    {
        QTest::addColumn<bool>("manage");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("acts");
        QTest::newRow("asked, yes") << true << int(mrYes) << true << true;
        QTest::newRow("asked, no") << true << int(mrNo) << true << false;
        QTest::newRow("option clear") << false << int(mrNo) << false << true;
    }

    void restoreAllAlwaysAsks()
    {
        QFETCH(bool, manage);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(bool, acts);
        trashWith(5, manage);
        QVERIFY(!trashPictureEmpty());
        Pauses pauses;
        {
            Answers answers(answer);
            // Called as another command would: the question does not depend
            // on a sender.
            m_window->btnTrashRecoverAllClick();
            QCOMPARE(answers.asked, asked ? QStringList(QStringLiteral("Recover all alarms ?")) : QStringList());
        }
        if (!acts) {
            QCOMPARE(trash().recordCount(), 5);
            QVERIFY(pauses.lines.isEmpty());
            return;
        }
        QStringList expected;
        for (int i = 1; i <= 5; ++i)
            expected << QStringLiteral("Parsing record %1").arg(i);
        QCOMPARE(pauses.lines, expected);
        QVERIFY(pauses.titles.count(QStringLiteral("Recovering...")) == pauses.titles.size());
        QVERIFY(pauses.tempos.count(20) == pauses.tempos.size());
        QVERIFY(pauses.kinds.count(TProgressWindow::AnimationKind::FileCopy) == pauses.kinds.size());
        QCOMPARE(trash().recordCount(), 0);
        QVERIFY(!m_window->dlgProgress->isVisible());
        QVERIFY(trashPictureEmpty());
        QCOMPARE(m_window->pnTrashCount->text(), QStringLiteral("0 Alarms  "));
        for (QToolButton *b : {m_window->btnTrashErase, m_window->btnTrashEraseAll, m_window->btnTrashRecover,
                               m_window->btnTrashRecoverAll})
            QVERIFY(!b->isEnabled());
        QCOMPARE(Saved().filter(QStringLiteral(":0")).size(), 6);
    }

    void closingTheProgressWindowStops_data()
    {
        QTest::addColumn<bool>("erase");
        QTest::newRow("erase all") << true;
        QTest::newRow("restore all") << false;
    }

    void closingTheProgressWindowStops()
    {
        QFETCH(bool, erase);
        trashWith(5, false);
        {
            Pauses pauses(2);
            ErrorTexts errors;
            if (erase)
                m_window->btnTrashEraseAll->click();
            else
                m_window->btnTrashRecoverAll->click();
            // Stopped after the second alarm, without a message; the two
            // stay handled.
            QCOMPARE(pauses.lines,
                     QStringList({QStringLiteral("Parsing record 1"), QStringLiteral("Parsing record 2")}));
            QVERIFY(errors.texts.isEmpty());
        }
        Pauses pauses;
        QCOMPARE(Titles(trash()), QStringList({QStringLiteral("t3"), QStringLiteral("t4"), QStringLiteral("t5")}));
        QCOMPARE(m_dm->cdsAlarms.recordCount(), erase ? 4 : 6);
        QVERIFY(!m_window->dlgProgress->isVisible());
        // The next run starts afresh.
        m_window->btnTrashRecoverAll->click();
        QCOMPARE(trash().recordCount(), 0);
    }

    void gridKeys()
    {
        // The empty grid: Delete and Insert are swallowed and do nothing.
        trashWith(0, true);
        Answers answers(mrYes);
        QTest::keyClick(m_window->grdTrash, Qt::Key_Delete);
        QTest::keyClick(m_window->grdTrash, Qt::Key_Insert);
        QVERIFY(answers.asked.isEmpty());
        QVERIFY(!m_window->grdTrashKeyDown(Qt::Key_Down));
        QVERIFY(m_window->grdTrashKeyDown(Qt::Key_Insert));
        QVERIFY(m_window->grdTrashKeyDown(Qt::Key_Delete));
        QCOMPARE(m_dm->cdsAlarms.recordCount(), 1);

        // With alarms: Delete erases the selected one (after the question),
        // Insert adds nothing.
        AddAlarm(*m_dm, zel::EncodeDateTime(2026, 3, 5, 9, 0), QStringLiteral("a"), 1);
        m_window->btnMenuClick(m_window->btnMenuTrash);
        QTest::keyClick(m_window->grdTrash, Qt::Key_Insert);
        QCOMPARE(m_dm->cdsAlarms.recordCount(), 2);
        QTest::keyClick(m_window->grdTrash, Qt::Key_Delete);
        QCOMPARE(answers.asked, QStringList(QStringLiteral("Delete alarm  ( a ) ?")));
        QCOMPARE(trash().recordCount(), 0);
        QCOMPARE(m_dm->cdsAlarms.recordCount(), 1);
    }

    void purge_data()
    {
        QTest::addColumn<int>("days");
        QTest::addColumn<QStringList>("left");
        const QStringList all{QStringLiteral("10 days"), QStringLiteral("20 days"), QStringLiteral("just after"),
                              QStringLiteral("just before")};
        QTest::newRow("15 days") << 15 << QStringList({QStringLiteral("10 days"), QStringLiteral("just after")});
        QTest::newRow("off") << 0 << all;
        QTest::newRow("90 days") << 90 << all;
    }

    void purge()
    {
        QFETCH(int, days);
        QFETCH(QStringList, left);
        FixedClock clock(TestNow);
        const TDateTime now = zel::ToDateTime(TestNow);
        AddAlarm(*m_dm, zel::EncodeDateTime(2026, 6, 20, 9, 0), QStringLiteral("on the list"));
        AddAlarm(*m_dm, now - 20, QStringLiteral("20 days"), 1);
        AddAlarm(*m_dm, now - 10, QStringLiteral("10 days"), 1);
        // The boundary: a minute on either side of now less 15 days.
        AddAlarm(*m_dm, now - 15 - zel::OneMinute, QStringLiteral("just before"), 1);
        AddAlarm(*m_dm, now - 15 + zel::OneMinute, QStringLiteral("just after"), 1);
        m_window->btnMenuClick(m_window->btnMenuList);
        const QString normal = trash().filter();
        m_window->edtOptionsPurgeValue->setPosition(days);
        m_window->cbxOptionsManage->setChecked(true);
        Pauses pauses;
        Answers answers(mrNo);
        ErrorTexts errors;
        m_window->PurgeOldAlarms();
        // No question, no message; the trash view shows the whole trash again,
        // the page in front stays.
        QVERIFY(answers.asked.isEmpty());
        QVERIFY(errors.texts.isEmpty());
        QCOMPARE(trash().filter(), normal);
        m_dm->RefreshSource(m_dm->dsTrash);
        QCOMPARE(Titles(trash()), left);
        QCOMPARE(m_window->Notebook->currentIndex(), 1);
        QVERIFY(m_dm->cdsAlarms.locate(AlarmField::Title, QStringLiteral("on the list")));
        QCOMPARE(pauses.lines.size(), 4 - int(left.size()));
    }

    void purgeAtStart()
    {
        // The option stored at 15 days: the next window's creation purges,
        // and the end of the program writes the data file without them.
        FixedClock clock(TestNow);
        const TDateTime now = zel::ToDateTime(TestNow);
        AddAlarm(*m_dm, now - 20, QStringLiteral("20 days"), 1);
        AddAlarm(*m_dm, now - 10, QStringLiteral("10 days"), 1);
        {
            QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Morvane"),
                        QStringLiteral("Almarik"));
            s.setValue(QStringLiteral("KA2/MainForm/edtOptionsPurgeValue_Position"), QStringLiteral("15"));
        }
        Pauses pauses;
        m_program.restartWindow();
        m_window = m_program.window;
        QCOMPARE(m_window->edtOptionsPurgeValue->position(), 15);
        QCOMPARE(Titles(trash()), QStringList(QStringLiteral("10 days")));
        QCOMPARE(pauses.lines, QStringList(QStringLiteral("Parsing record 1")));
        m_program.stop();
        QCOMPARE(Saved(), QStringList(QStringLiteral("10 days:1")));
        m_program.start();
        m_dm = m_program.dm;
        m_window = m_program.window;
    }

    void purgeFailureIsShown()
    {
        FixedClock clock(TestNow);
        const TDateTime now = zel::ToDateTime(TestNow);
        AddAlarm(*m_dm, now - 20, QStringLiteral("old"), 1);
        AddAlarm(*m_dm, now - 30, QStringLiteral("older"), 1);
        m_window->btnMenuClick(m_window->btnMenuList);
        const QString normal = trash().filter();
        // The master's notification fails once an alarm is erased.
        store::DataSource &source = m_dm->dsAlarms;
        const auto original = source.onDataChange;
        bool armed = true;
        source.onDataChange = [&](store::DataSource *sender, store::Field *field) {
            if (armed && m_dm->cdsAlarms.recordCount() < 2) {
                armed = false;
                throw Exception(QStringLiteral("Disk gone"));
            }
            original(sender, field);
        };
        m_window->edtOptionsPurgeValue->setPosition(15);
        Pauses pauses;
        ErrorTexts errors;
        QCOMPARE(FailureOf([this] { m_window->PurgeOldAlarms(); }), QStringLiteral("(no failure)"));
        source.onDataChange = original;
        QCOMPARE(errors.texts, QStringList(QStringLiteral("Purge Error : Disk gone")));
        // The trash view has its normal filter back; the progress window is closed.
        QCOMPARE(trash().filter(), normal);
        QVERIFY(!m_window->dlgProgress->isVisible());
        QCOMPARE(trash().recordCount(), m_dm->cdsAlarms.recordCount());
    }
};

QTEST_MAIN(TestTrashPage)
#include "tst_trash_page.moc"
