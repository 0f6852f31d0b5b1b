// The calendar page: the day filter of the planner's selection, the marks of
// the year, New, Edit, Delete and Duplicate from the calendar with the way
// back from the list page's editor, the grid's keys, and the restored view
// when marking fails.
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_Utilities.h"
#include "diag/ZelException.h"
#include "store/D_KA_Alarms.h"
#include "support/Failure.h"
#include "support/ProgramFixture.h"
#include "ui/F_KA_Main.h"
#include "ui/YearPlanner.h"

#include <QCalendarWidget>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

using namespace testsupport;
using store::DataSetState;
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

const QColor Marked(255, 255, 128);

TDateTime At(int month, int day, int hour = 0, int minute = 0, int year = 2026)
{
    return zel::EncodeDateTime(year, month, day, hour, minute);
}

QStringList Titles(const Table &view)
{
    QStringList titles;
    const store::Field &title = view.fieldByName(AlarmField::Title);
    for (int i = 0; i < view.recordCount(); ++i)
        titles << view.withRow(i, [&title] { return title.asString(); });
    return titles;
}

} // namespace

class TestCalendarPage : public QObject
{
    Q_OBJECT

    // The program starts on Wednesday 10 June 2026 at 10:00.
    FixedClock m_clock{QDateTime(QDate(2026, 6, 10), QTime(10, 0))};
    ProgramFixture m_program;
    TdmKaAlarms *m_dm = nullptr;
    TfmKaMain *m_window = nullptr;

    bool marked(int month, int day) const
    {
        return m_window->YearPlanner->useCellColor(month, day) &&
               m_window->YearPlanner->cellColor(month, day) == Marked;
    }

    int markCount() const
    {
        int n = 0;
        for (int m = 1; m <= 12; ++m) {
            for (int d = 1; d <= 31; ++d)
                n += m_window->YearPlanner->useCellColor(m, d) ? 1 : 0;
        }
        return n;
    }

    // Selects days in the planner as the mouse does.
    void select(const QDate &first, const QDate &last)
    {
        m_window->YearPlanner->setSelection(zel::ToDateTime(first), zel::ToDateTime(last));
        m_window->YearPlannerClick();
    }

    Table &calendar() { return m_dm->cdsCalendar; }

    void trash(int number)
    {
        Table &t = m_dm->cdsAlarms;
        m_dm->LocateNumber(t, number, true);
        t.edit();
        t.fieldByName(AlarmField::Deleted).setAsInteger(1);
        t.post();
    }

private Q_SLOTS:
    void initTestCase() { InitProgramUnits(); }

    void init()
    {
        m_clock.set(QDateTime(QDate(2026, 6, 10), QTime(10, 0)));
        m_program.start();
        m_dm = m_program.dm;
        m_window = m_program.window;
    }

    void cleanup()
    {
        m_window->BackToCalendar = false;
        m_program.stop();
    }

    void startsOnTodayInTheCalendar()
    {
        QCOMPARE(m_window->CurrentPageTag(), 0);
        QCOMPARE(m_window->YearPlanner->year(), 2026);
        QCOMPARE(m_window->YearPlanner->selectionStart(), At(6, 10));
        QCOMPARE(m_window->YearPlanner->selectionEnd(), At(6, 10));
        QCOMPARE(calendar().filter(), QStringLiteral("Deleted = 0 and Date >= '") + zel::DateToStr(At(6, 10)) +
                                          QStringLiteral("' and Date < '") + zel::DateToStr(At(6, 11)) +
                                          QStringLiteral("'"));
        QCOMPARE(calendar().indexFieldName(), AlarmField::Date);
        QCOMPARE(m_window->YearPlanner->monthNames().first(), QStringLiteral("January"));
    }

    void marksTheDayOfEveryAlarmOfTheYear()
    {
        AddAlarm(*m_dm, At(12, 31, 18, 0), QStringLiteral("late"));
        AddAlarm(*m_dm, At(1, 1, 0, 0), QStringLiteral("first"));
        AddAlarm(*m_dm, At(4, 2, 9, 0), QStringLiteral("binned"), 1);
        AddAlarm(*m_dm, At(1, 1, 0, 0, 2027), QStringLiteral("next year"));
        AddAlarm(*m_dm, At(12, 31, 23, 59, 2025), QStringLiteral("last year"));
        m_window->btnMenuClick(m_window->btnMenuCalendar);
        QVERIFY(marked(12, 31));
        QVERIFY(marked(1, 1));
        QVERIFY(!marked(12, 30));
        QVERIFY(!marked(4, 2)); // in the trash
        QCOMPARE(markCount(), 2);
        // The day filter is back on the view after marking.
        QCOMPARE(calendar().recordCount(), 0);
        QCOMPARE(m_window->pnCalendarCount->text(), QStringLiteral("0 Alarms  "));
    }

    void aRangeListsItsDaysInDateOrder()
    {
        AddAlarm(*m_dm, At(3, 5, 23, 59), QStringLiteral("5 Mar 23:59"));
        AddAlarm(*m_dm, At(3, 2, 23, 59), QStringLiteral("2 Mar 23:59"));
        AddAlarm(*m_dm, At(3, 4, 12, 0), QStringLiteral("4 Mar 12:00"));
        AddAlarm(*m_dm, At(3, 6, 0, 0), QStringLiteral("6 Mar 00:00"));
        AddAlarm(*m_dm, At(3, 3, 0, 0), QStringLiteral("3 Mar 00:00"));
        select(QDate(2026, 3, 3), QDate(2026, 3, 5));
        QCOMPARE(Titles(calendar()), QStringList({QStringLiteral("3 Mar 00:00"), QStringLiteral("4 Mar 12:00"),
                                                  QStringLiteral("5 Mar 23:59")}));
        QCOMPARE(m_window->pnCalendarCount->text(), QStringLiteral("3 Alarms  "));
        QCOMPARE(m_window->grdCalendar->model()->rowCount(), 3);
        // The selected alarm is the master's current one.
        QCOMPARE(m_dm->cdsAlarms.fieldByName(AlarmField::Title).asString(), QStringLiteral("3 Mar 00:00"));
        QCOMPARE(markCount(), 5);
    }

    void aTrashedAlarmsMarkGoesAndComesBack()
    {
        AddAlarm(*m_dm, At(7, 14, 8, 0), QStringLiteral("parade"));
        AddAlarm(*m_dm, At(7, 20, 8, 0), QStringLiteral("other"));
        m_window->btnMenuClick(m_window->btnMenuCalendar);
        QVERIFY(marked(7, 14));
        // Moved to the trash elsewhere: the mark goes when the calendar shows.
        trash(1);
        QVERIFY(marked(7, 14));
        m_window->btnMenuClick(m_window->btnMenuTrash);
        m_window->btnMenuClick(m_window->btnMenuCalendar);
        QVERIFY(!marked(7, 14));
        QVERIFY(marked(7, 20));
        // Restored: the mark is back.
        Table &t = m_dm->cdsAlarms;
        m_dm->LocateNumber(t, 1, true);
        t.edit();
        t.fieldByName(AlarmField::Deleted).setAsInteger(0);
        t.post();
        m_window->btnMenuClick(m_window->btnMenuCalendar);
        QVERIFY(marked(7, 14));
    }

    void deleteAsksThenTheLastAlarmsMarkGoes()
    {
        AddAlarm(*m_dm, At(6, 10, 9, 0), QStringLiteral("coffee"));
        AddAlarm(*m_dm, At(6, 10, 15, 0), QStringLiteral("tea"));
        select(QDate(2026, 6, 10), QDate(2026, 6, 10));
        QCOMPARE(calendar().recordCount(), 2);
        {
            // No: nothing happens.
            Answers no(mrNo);
            m_window->btnCalendarDelClick();
            QCOMPARE(no.asked, QStringList{QStringLiteral("Delete alarm  ( coffee ) ?")});
            QCOMPARE(calendar().recordCount(), 2);
        }
        {
            Answers yes(mrYes);
            m_window->btnCalendarDelClick();
            QCOMPARE(calendar().recordCount(), 1);
            QVERIFY(marked(6, 10)); // tea is still there
            QCOMPARE(m_dm->cdsTrash.recordCount(), 1);
            QCOMPARE(Titles(m_dm->cdsTrash), QStringList{QStringLiteral("coffee")});
            m_window->btnCalendarDelClick();
            QCOMPARE(yes.asked.last(), QStringLiteral("Delete alarm  ( tea ) ?"));
            QCOMPARE(calendar().recordCount(), 0);
            QVERIFY(!marked(6, 10));
            QCOMPARE(m_dm->cdsTrash.recordCount(), 2);
        }
        QCOMPARE(m_window->pnTrashCount->text(), QStringLiteral("2 Alarms  "));
        QVERIFY(!m_window->Editing());
        // Saved: the data file holds both alarms in the trash.
        const Table &master = m_dm->cdsAlarms;
        const store::Field &deleted = master.fieldByName(AlarmField::Deleted);
        QCOMPARE(master.recordCount(), 2);
        for (int i = 0; i < master.recordCount(); ++i) {
            const int flag = master.withRow(i, [&deleted] { return deleted.asInteger(); });
            QCOMPARE(flag, 1);
        }
    }

    void deleteInFrenchAsksInFrench()
    {
        AddAlarm(*m_dm, At(6, 10, 9, 0), QStringLiteral("caf\u00e9"));
        select(QDate(2026, 6, 10), QDate(2026, 6, 10));
        KaVar::SetLanguageIndex(1);
        Answers no(mrNo);
        m_window->btnCalendarDelClick();
        KaVar::SetLanguageIndex(0);
        QCOMPARE(no.asked, QStringList{QStringLiteral("Effacer l'alarme  ( caf\u00e9 ) ?")});
    }

    void newRightAfterStartProposesTodayAtTheDefaultTime()
    {
        m_window->btnCalendarAddClick();
        QCOMPARE(m_window->CurrentPageTag(), 1);
        QVERIFY(m_window->BackToCalendar);
        QCOMPARE(m_dm->cdsAlarms.state(), DataSetState::Insert);
        QCOMPARE(m_dm->cdsAlarms.fieldByName(AlarmField::Date).asDateTime(), At(6, 10, 10, 5));
        QCOMPARE(m_window->edtEditDate->date(), QDate(2026, 6, 10));
        QVERIFY(m_window->edtEditDate->isEnabled());
        // The date box's calendar is open.
        QCalendarWidget *popup = m_window->edtEditDate->calendarWidget();
        QVERIFY(popup && popup->window()->isVisible());
        popup->window()->hide();
        m_window->btnListCancelClick();
        QCOMPARE(m_window->CurrentPageTag(), 0);
        QVERIFY(!m_window->BackToCalendar);
        QCOMPARE(m_dm->cdsAlarms.recordCount(), 0);
    }

    void newTakesTheFirstSelectedDayAndComesBackMarked()
    {
        select(QDate(2026, 3, 3), QDate(2026, 3, 5));
        m_window->btnCalendarAddClick();
        if (QCalendarWidget *popup = m_window->edtEditDate->calendarWidget())
            popup->window()->hide();
        QCOMPARE(m_dm->cdsAlarms.fieldByName(AlarmField::Date).asDateTime(), At(3, 3, 10, 5));
        m_dm->cdsAlarms.fieldByName(AlarmField::Title).setAsString(QStringLiteral("dentist"));
        {
            Answers yes(mrYes);
            m_window->btnListPostClick();
            QCOMPARE(yes.asked, QStringList{QStringLiteral("Post changes ?")});
        }
        QCOMPARE(m_window->CurrentPageTag(), 0);
        QVERIFY(m_window->btnMenuCalendar->isChecked());
        QVERIFY(!m_window->BackToCalendar);
        QVERIFY(marked(3, 3));
        QCOMPARE(Titles(calendar()), QStringList{QStringLiteral("dentist")});
        QCOMPARE(m_window->pnCalendarCount->text(), QStringLiteral("1 Alarms  "));
    }

    void editOpensTheCalendarsAlarmInTheEditor()
    {
        AddAlarm(*m_dm, At(2, 1, 8, 0), QStringLiteral("early"));
        AddAlarm(*m_dm, At(9, 1, 8, 0), QStringLiteral("school"));
        AddAlarm(*m_dm, At(9, 1, 9, 0), QStringLiteral("bus"));
        select(QDate(2026, 9, 1), QDate(2026, 9, 1));
        calendar().last();
        m_window->RefreshForm();
        QVERIFY(m_window->btnCalendarEdit->isEnabled());
        m_window->btnCalendarEditClick();
        QCOMPARE(m_window->CurrentPageTag(), 1);
        QVERIFY(m_window->BackToCalendar);
        QCOMPARE(m_dm->cdsAlarms.state(), DataSetState::Edit);
        QCOMPARE(m_dm->cdsAlarms.fieldByName(AlarmField::Number).asInteger(), 3);
        QCOMPARE(m_dm->cdsList.fieldByName(AlarmField::Number).asInteger(), 3);
        QCOMPARE(m_window->edtEditTitle->text(), QStringLiteral("bus"));
        // Confirm without a change acts as Cancel and comes back.
        Answers yes(mrYes);
        m_window->btnListPostClick();
        QVERIFY(yes.asked.isEmpty());
        QCOMPARE(m_window->CurrentPageTag(), 0);
        QCOMPARE(m_dm->cdsAlarms.state(), DataSetState::Browse);
    }

    void editOfAnAlarmTheListLacksFails()
    {
        AddAlarm(*m_dm, At(6, 10, 11, 0), QStringLiteral("gone"));
        select(QDate(2026, 6, 10), QDate(2026, 6, 10));
        trash(1); // the calendar view still holds it
        QCOMPARE(calendar().recordCount(), 1);
        QCOMPARE(FailureOf([this] { m_window->btnCalendarEditClick(); }),
                 QStringLiteral("Alarm not found [ Number = 1 ]"));
        QCOMPARE(m_window->CurrentPageTag(), 1);
        QVERIFY(!m_window->Editing());
        QVERIFY(!m_window->BackToCalendar);
    }

    void duplicateCopiesTheCalendarsAlarm()
    {
        AddAlarm(*m_dm, At(5, 1, 7, 30), QStringLiteral("run"));
        AddAlarm(*m_dm, At(5, 2, 7, 30), QStringLiteral("swim"));
        select(QDate(2026, 5, 2), QDate(2026, 5, 2));
        CommandErrors errors;
        m_window->btnCalendarCopy->click();
        QCOMPARE(errors.texts, QStringList());
        QCOMPARE(m_dm->cdsAlarms.recordCount(), 3);
        QCOMPARE(Titles(calendar()), QStringList({QStringLiteral("swim"), QStringLiteral("swim")}));
        QCOMPARE(m_window->CurrentPageTag(), 0);
        Table &t = m_dm->cdsAlarms;
        m_dm->LocateNumber(t, 3, true);
        QCOMPARE(t.fieldByName(AlarmField::Date).asDateTime(), At(5, 2, 7, 30));
        QCOMPARE(t.fieldByName(AlarmField::DateEnd).asDateTime(), 0.0);
        QCOMPARE(t.fieldByName(AlarmField::DateEndUsed).asInteger(), 0);
    }

    void arrowsMarkTheNewYearWhileTheGridKeepsItsDays()
    {
        AddAlarm(*m_dm, At(6, 10, 12, 0), QStringLiteral("this year"));
        AddAlarm(*m_dm, At(2, 14, 12, 0, 2027), QStringLiteral("next year"));
        select(QDate(2026, 6, 10), QDate(2026, 6, 10));
        QVERIFY(marked(6, 10));
        TYearPlanner *planner = m_window->YearPlanner;
        planner->resize(647, 196);
        CommandErrors errors;
        QTest::mouseClick(planner, Qt::LeftButton, {}, planner->nextYearRect().center());
        QCOMPARE(errors.texts, QStringList());
        QCOMPARE(planner->year(), 2027);
        QVERIFY(marked(2, 14));
        QVERIFY(!marked(6, 10));
        QCOMPARE(markCount(), 1);
        QCOMPARE(Titles(calendar()), QStringList{QStringLiteral("this year")});
        QCOMPARE(planner->selectionStart(), At(6, 10, 10, 0));
        // The next selection lists from today's midnight to this moment
        // tomorrow.
        AddAlarm(*m_dm, At(6, 11, 9, 59), QStringLiteral("tomorrow early"));
        AddAlarm(*m_dm, At(6, 11, 10, 0), QStringLiteral("tomorrow later"));
        m_window->YearPlannerClick();
        QCOMPARE(Titles(calendar()), QStringList({QStringLiteral("this year"), QStringLiteral("tomorrow early")}));
    }

    void anEmptyDayDisablesTheCommands()
    {
        AddAlarm(*m_dm, At(6, 12, 12, 0), QStringLiteral("friday"));
        select(QDate(2026, 6, 11), QDate(2026, 6, 11));
        for (QToolButton *b : {m_window->btnCalendarDel, m_window->btnCalendarEdit, m_window->btnCalendarCopy})
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
        QVERIFY(m_window->btnCalendarAdd->isEnabled());
        CommandErrors errors;
        Answers yes(mrYes);
        QTest::keyClick(m_window->grdCalendar, Qt::Key_Delete);
        QTest::keyClick(m_window->grdCalendar, Qt::Key_Return);
        QVERIFY(yes.asked.isEmpty());
        QCOMPARE(m_window->CurrentPageTag(), 0);
        QCOMPARE(m_dm->cdsAlarms.recordCount(), 1);

        select(QDate(2026, 6, 12), QDate(2026, 6, 12));
        for (QToolButton *b : {m_window->btnCalendarDel, m_window->btnCalendarEdit, m_window->btnCalendarCopy})
            QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));
    }

    void gridKeys()
    {
        AddAlarm(*m_dm, At(6, 12, 12, 0), QStringLiteral("friday"));
        select(QDate(2026, 6, 12), QDate(2026, 6, 12));
        CommandErrors errors;
        {
            Answers no(mrNo);
            QTest::keyClick(m_window->grdCalendar, Qt::Key_Delete);
            QCOMPARE(no.asked, QStringList{QStringLiteral("Delete alarm  ( friday ) ?")});
        }
        // Enter: Edit.
        QTest::keyClick(m_window->grdCalendar, Qt::Key_Return);
        QCOMPARE(m_window->CurrentPageTag(), 1);
        QCOMPARE(m_dm->cdsAlarms.state(), DataSetState::Edit);
        m_window->btnListCancelClick();
        QCOMPARE(m_window->CurrentPageTag(), 0);
        // Insert: New on the selected day.
        QTest::keyClick(m_window->grdCalendar, Qt::Key_Insert);
        if (QCalendarWidget *popup = m_window->edtEditDate->calendarWidget())
            popup->window()->hide();
        QCOMPARE(m_window->CurrentPageTag(), 1);
        QCOMPARE(m_dm->cdsAlarms.state(), DataSetState::Insert);
        QCOMPARE(m_dm->cdsAlarms.fieldByName(AlarmField::Date).asDateTime(), At(6, 12, 10, 5));
        m_window->btnListCancelClick();
        QCOMPARE(m_window->CurrentPageTag(), 0);
        QCOMPARE(errors.texts, QStringList());
    }

    void navigationMovesThroughTheDaysAlarms()
    {
        AddAlarm(*m_dm, At(6, 12, 8, 0), QStringLiteral("one"));
        AddAlarm(*m_dm, At(6, 12, 9, 0), QStringLiteral("two"));
        AddAlarm(*m_dm, At(6, 12, 10, 0), QStringLiteral("three"));
        select(QDate(2026, 6, 12), QDate(2026, 6, 12));
        CommandErrors errors;
        QVERIFY(!m_window->btnCalendarFirst->isEnabled());
        QVERIFY(m_window->btnCalendarNext->isEnabled());
        m_window->btnCalendarNext->click();
        QCOMPARE(calendar().fieldByName(AlarmField::Title).asString(), QStringLiteral("two"));
        // The master follows: the editor and the commands act on it.
        QCOMPARE(m_dm->cdsAlarms.fieldByName(AlarmField::Title).asString(), QStringLiteral("two"));
        m_window->btnCalendarLast->click();
        QCOMPARE(calendar().fieldByName(AlarmField::Title).asString(), QStringLiteral("three"));
        m_window->btnCalendarNext->click();
        QVERIFY(!m_window->btnCalendarNext->isEnabled());
        QVERIFY(!m_window->btnCalendarLast->isEnabled());
        m_window->btnCalendarPrior->click();
        QCOMPARE(calendar().fieldByName(AlarmField::Title).asString(), QStringLiteral("two"));
        m_window->btnCalendarFirst->click();
        QCOMPARE(calendar().fieldByName(AlarmField::Title).asString(), QStringLiteral("one"));
        QCOMPARE(errors.texts, QStringList());

        // A double click on a row edits it.
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        TDataGrid *grid = m_window->grdCalendar;
        const QPoint row = grid->visualRect(grid->model()->index(1, 1)).center();
        // A double click: the first click's press, then the double click.
        QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, row);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, row);
        QCOMPARE(errors.texts, QStringList());
        QCOMPARE(m_window->CurrentPageTag(), 1);
        QCOMPARE(m_dm->cdsAlarms.state(), DataSetState::Edit);
        QCOMPARE(m_dm->cdsAlarms.fieldByName(AlarmField::Title).asString(), QStringLiteral("two"));
        m_window->btnListCancelClick();
        QCOMPARE(m_window->CurrentPageTag(), 0);
        m_window->hide();
    }

    void aFailedMarkingRestoresTheView()
    {
        AddAlarm(*m_dm, At(6, 10, 12, 0), QStringLiteral("b"));
        AddAlarm(*m_dm, At(6, 10, 13, 0), QStringLiteral("a"));
        select(QDate(2026, 6, 10), QDate(2026, 6, 10));
        calendar().setIndexFieldName(AlarmField::Title);
        const QString dayFilter = calendar().filter();
        // Without its master the view cannot be read.
        m_dm->cdsAlarms.close();
        QVERIFY(FailureOf([this] { m_window->YearPlannerYearChanged(); }) != QStringLiteral("(no failure)"));
        QCOMPARE(calendar().filter(), dayFilter);
        QCOMPARE(calendar().indexFieldName(), AlarmField::Title);
        QVERIFY(!calendar().controlsDisabled());
        m_dm->cdsAlarms.createDataSet();
    }

    void headingsFollowTheLanguage()
    {
        KaVar::SetLanguageIndex(1);
        m_window->ApplyLanguageLists();
        QCOMPARE(m_window->YearPlanner->monthNames().first(), QStringLiteral("Janvier"));
        QCOMPARE(m_window->YearPlanner->monthNames().at(7), QStringLiteral("Ao\u00fbt"));
        QCOMPARE(m_window->YearPlanner->dayLetters().at(1), QStringLiteral("l"));
        KaVar::SetLanguageIndex(0);
        m_window->ApplyLanguageLists();
        QCOMPARE(m_window->YearPlanner->monthNames().first(), QStringLiteral("January"));
    }

    void aMarkedDayIsPaintedYellow()
    {
        AddAlarm(*m_dm, At(8, 20, 12, 0), QStringLiteral("painted"));
        m_window->btnMenuClick(m_window->btnMenuCalendar);
        TYearPlanner *planner = m_window->YearPlanner;
        planner->resize(647, 196);
        const QImage image = planner->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect cell = planner->cellRect(QDate(2026, 8, 20));
        QCOMPARE(image.pixelColor(cell.left() + 1, cell.top() + 1), Marked);
        const QRect plain = planner->cellRect(QDate(2026, 8, 19));
        QCOMPARE(image.pixelColor(plain.left() + 1, plain.top() + 1), QColor(Qt::white));
    }
};

QTEST_MAIN(TestCalendarPage)
#include "tst_calendar_page.moc"
