// The list page and the alarm editor: new, edit, duplicate, delete, confirm
// and cancel with their questions, the editor's bindings to the master and
// its keys, the grid's keys and title clicks, and the application picker.
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_Utilities.h"
#include "store/D_KA_Alarms.h"
#include "support/Failure.h"
#include "support/ProgramFixture.h"
#include "ui/F_KA_Main.h"
#include "ui/YearPlanner.h"

#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCharFormat>
#include <QToolButton>

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
            types << r.type;
            buttons << r.buttons;
            return answer;
        });
    }
    ~Answers() { SetMessageDialogHook({}); }
    QStringList asked;
    QList<int> types;
    QList<int> buttons;
};

// Records the file dialog requests and answers with a path while alive.
struct FileDialogs
{
    explicit FileDialogs(const QString &answer)
    {
        SetFileDialogHook([this, answer](const FileDialogRequest &r) {
            requests << r;
            return answer;
        });
    }
    ~FileDialogs() { SetFileDialogHook({}); }
    QList<FileDialogRequest> requests;
};

// The titles of the rows of a table or view, in its order.
QStringList Titles(const Table &t)
{
    QStringList titles;
    const store::Field &title = t.fieldByName(AlarmField::Title);
    for (int i = 0; i < t.recordCount(); ++i)
        titles << t.withRow(i, [&] { return title.asString(); });
    return titles;
}

// The titles stored in the data file.
QStringList SavedTitles()
{
    Table saved(QStringLiteral("saved"));
    saved.loadFromFile(DataFile());
    return Titles(saved);
}

} // namespace

class TestListPage : public QObject
{
    Q_OBJECT

    ProgramFixture m_program;
    TdmKaAlarms *m_dm = nullptr;
    TfmKaMain *m_window = nullptr;

    Table &master() { return m_dm->cdsAlarms; }
    QString field(const QString &name) { return master().fieldByName(name).asString(); }

    // The list page in front with these alarms (one a day from 10 March 2026
    // at 09:30), the first one selected.
    // Selects the days on the calendar page's planner, as a user's drag does.
    void ShowCalendarDays(const QDate &first, const QDate &last)
    {
        m_window->YearPlanner->setSelection(zel::ToDateTime(first.startOfDay()), zel::ToDateTime(last.startOfDay()));
        m_window->YearPlannerClick();
    }

    void listWith(const QStringList &titles)
    {
        for (int i = 0; i < titles.size(); ++i)
            AddAlarm(*m_dm, zel::EncodeDateTime(2026, 3, 10 + i, 9, 30), titles[i]);
        m_window->btnMenuClick(m_window->btnMenuList);
        m_dm->cdsList.first();
    }

private Q_SLOTS:
    void initTestCase() { InitProgramUnits(); }

    void init()
    {
        m_program.start();
        m_dm = m_program.dm;
        m_window = m_program.window;
    }

    void cleanup()
    {
        while (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
        m_program.stop();
    }

    void newShowsTheDefaults_data()
    {
        QTest::addColumn<bool>("fromUser");
        QTest::newRow("a click") << true;
        QTest::newRow("another command") << false;
    }

    void newShowsTheDefaults()
    {
        QFETCH(bool, fromUser);
        FixedClock clock(QDateTime(QDate(2026, 3, 10), QTime(10, 0)));
        listWith({QStringLiteral("old")});
        m_window->show();
        if (fromUser)
            m_window->btnListAdd->click();
        else
            m_window->btnListAddClick(nullptr);

        QVERIFY(m_window->Editing());
        QVERIFY(m_dm->Inserting);
        // The change events of the controls showing the defaults do not count.
        QVERIFY(!m_window->Modified);
        QCOMPARE(m_window->edtEditDate->date(), QDate(2026, 3, 10));
        QCOMPARE(m_window->edtEditTime->time(), QTime(10, 5));
        QCOMPARE(m_window->edtEditTitle->text(), QString());
        QCOMPARE(m_window->cbEditPeriodicity->currentIndex(), 0);
        QCOMPARE(m_window->rgpEditPriority->itemIndex(), 1);
        QVERIFY(m_window->cbxEditAlarmEnabled->isChecked());
        QVERIFY(m_window->cbxEditSound->isChecked());
        QVERIFY(!m_window->cbxEditAppSilent->isChecked());
        QVERIFY(!m_window->edtEditDateEndUsed->isChecked());
        QVERIFY(m_window->edtEditDateEnd->isEmpty());
        QCOMPARE(m_window->focusWidget(), m_window->edtEditDate);
        // Only a user's New opens the date box's calendar.
        QCOMPARE(m_window->edtEditDate->calendarWidget()->isVisible(), fromUser);
        // The editor is open, the rest of the page is locked.
        QVERIFY(m_window->btnListPost->isEnabled());
        QVERIFY(!m_window->btnListAdd->isEnabled());
        QVERIFY(!m_window->grdList->isEnabled());
    }

    void newThenConfirmUntouched()
    {
        listWith({QStringLiteral("old")});
        m_window->btnListAddClick(nullptr);
        Answers yes(mrYes);
        QCOMPARE(FailureOf([this] { m_window->btnListPostClick(); }), QStringLiteral("Enter a Title !"));
        QCOMPARE(yes.asked, QStringList(QStringLiteral("Post changes ?")));
        QCOMPARE(yes.types, QList<int>({mtConfirmation}));
        QCOMPARE(yes.buttons, QList<int>({mbYes | mbNo}));
        // The record stays open and nothing was saved.
        QVERIFY(m_window->Editing());
        QVERIFY(m_dm->Inserting);
        QCOMPARE(SavedTitles(), QStringList(QStringLiteral("old")));
    }

    void newThenCancelUntouched()
    {
        listWith({QStringLiteral("old")});
        m_window->btnListAddClick(nullptr);
        Answers yes(mrYes);
        m_window->btnListCancelClick();
        QVERIFY(yes.asked.isEmpty());
        QVERIFY(!m_window->Editing());
        QVERIFY(!m_dm->Inserting);
        QCOMPARE(Titles(master()), QStringList(QStringLiteral("old")));
        QCOMPARE(m_window->edtEditTitle->text(), QStringLiteral("old"));
    }

    void newWithTitleConfirmed_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("question");
        QTest::newRow("Yes") << 0 << int(mrYes) << QStringLiteral("Post changes ?");
        QTest::newRow("No") << 0 << int(mrNo) << QStringLiteral("Post changes ?");
        QTest::newRow("Oui") << 1 << int(mrYes) << QStringLiteral("Valider les modifications ?");
    }

    void newWithTitleConfirmed()
    {
        QFETCH(int, language);
        QFETCH(int, answer);
        QFETCH(QString, question);
        KaVar::SetLanguageIndex(language);
        FixedClock clock(QDateTime(QDate(2026, 3, 11), QTime(12, 0)));
        listWith({QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third")});
        m_window->btnListAddClick(nullptr);
        QTest::keyClicks(m_window->edtEditTitle, QStringLiteral("noon"));
        QVERIFY(m_window->Modified);
        QCOMPARE(field(AlarmField::Title), QStringLiteral("noon"));

        Answers answers(answer);
        m_window->btnListPostClick();
        QCOMPARE(answers.asked, QStringList(question));
        if (answer == mrNo) {
            QVERIFY(m_window->Editing());
            QCOMPARE(m_window->edtEditTitle->text(), QStringLiteral("noon"));
            QCOMPARE(SavedTitles().size(), 3);
            return;
        }
        QVERIFY(!m_window->Editing());
        // Saved, and the list shows it in date order (11 March 12:05).
        QCOMPARE(SavedTitles().size(), 4);
        QVERIFY(SavedTitles().contains(QStringLiteral("noon")));
        QCOMPARE(Titles(m_dm->cdsList), QStringList({QStringLiteral("first"), QStringLiteral("second"),
                                                     QStringLiteral("noon"), QStringLiteral("third")}));
        QCOMPARE(m_window->pnListCount->text().left(1), QStringLiteral("4"));
    }

    void confirmWithoutQuestion()
    {
        listWith({QStringLiteral("old")});
        m_window->cbxOptionsConfirmEdit->setChecked(false);
        m_window->btnListAddClick(nullptr);
        QTest::keyClicks(m_window->edtEditTitle, QStringLiteral("quiet"));
        Answers yes(mrYes);
        m_window->btnListPostClick();
        QVERIFY(yes.asked.isEmpty());
        QVERIFY(!m_window->Editing());
        QCOMPARE(SavedTitles().size(), 2);
    }

    void editUntouchedConfirmActsAsCancel()
    {
        listWith({QStringLiteral("old")});
        const QDateTime saved = QFileInfo(DataFile()).lastModified();
        m_window->btnListEditClick();
        QVERIFY(m_window->Editing());
        QVERIFY(!m_window->Modified);
        QCOMPARE(m_window->focusWidget(), m_window->edtEditTitle);
        Answers yes(mrYes);
        m_window->btnListPostClick();
        QVERIFY(yes.asked.isEmpty());
        QVERIFY(!m_window->Editing());
        QCOMPARE(QFileInfo(DataFile()).lastModified(), saved);
    }

    void escapeCancels_data()
    {
        QTest::addColumn<bool>("ask");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<QString>("title");
        const QStringList question(QStringLiteral("Cancel changes ?"));
        QTest::newRow("asked, Yes") << true << int(mrYes) << question << QStringLiteral("old");
        QTest::newRow("asked, No") << true << int(mrNo) << question << QStringLiteral("oldnew");
        QTest::newRow("not asked") << false << int(mrNo) << QStringList() << QStringLiteral("old");
    }

    void escapeCancels()
    {
        QFETCH(bool, ask);
        QFETCH(int, answer);
        QFETCH(QStringList, asked);
        QFETCH(QString, title);
        listWith({QStringLiteral("old")});
        m_window->cbxOptionsConfirmCancel->setChecked(ask);
        m_window->btnListEditClick();
        m_window->edtEditTitle->end(false);
        QTest::keyClicks(m_window->edtEditTitle, QStringLiteral("new"));
        Answers answers(answer);
        QTest::keyClick(m_window->edtEditTitle, Qt::Key_Escape);
        QCOMPARE(answers.asked, asked);
        QCOMPARE(m_window->edtEditTitle->text(), title);
        QCOMPARE(field(AlarmField::Title), title);
        QCOMPARE(m_window->Editing(), answer == mrNo && ask);
    }

    void editorKeysOnlyWhileEditing()
    {
        listWith({QStringLiteral("old")});
        // Periodic, so that the end-date boxes take keys too.
        master().edit();
        master().fieldByName(AlarmField::Period).setAsInteger(2);
        master().post();
        Answers yes(mrYes);
        // Browsing, Escape and Alt+Enter do nothing.
        QVERIFY(!m_window->DoKeyDown(Qt::Key_Escape, Qt::NoModifier));
        QVERIFY(!m_window->DoKeyDown(Qt::Key_Return, Qt::AltModifier));
        m_window->btnListEditClick();
        // Escape works from every editor control that takes keys, the time
        // pickers and the priority buttons included.
        const QList<QWidget *> controls = {m_window->edtEditDate,       m_window->edtEditTime,
                                           m_window->edtEditDateEnd,    m_window->edtEditTimeEnd,
                                           m_window->cbEditPeriodicity, m_window->edtEditApp,
                                           m_window->cbxEditSound,      m_window->edtEditDateEndUsed,
                                           m_window->moEditMemo,        m_window->rgpEditPriority->button(2)};
        for (QWidget *w : controls) {
            m_window->btnListEditClick();
            QVERIFY(m_window->Editing());
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
            QTest::keyClick(w, Qt::Key_Escape);
            QVERIFY2(!m_window->Editing(), qPrintable(w->objectName()));
        }
        QVERIFY(yes.asked.isEmpty());
    }

    void altEnterInTheMemo()
    {
        listWith({QStringLiteral("old")});
        m_window->btnListEditClick();
        QTest::keyClicks(m_window->moEditMemo, QStringLiteral("one"));
        QTest::keyClick(m_window->moEditMemo, Qt::Key_Return);
        QTest::keyClicks(m_window->moEditMemo, QStringLiteral("two"));
        // Enter alone added a line, the record is still open.
        QVERIFY(m_window->Editing());
        QCOMPARE(m_window->moEditMemo->toPlainText(), QStringLiteral("one\ntwo"));
        Answers yes(mrYes);
        QTest::keyClick(m_window->moEditMemo, Qt::Key_Return, Qt::AltModifier);
        QCOMPARE(yes.asked, QStringList(QStringLiteral("Post changes ?")));
        QVERIFY(!m_window->Editing());
        QCOMPARE(field(AlarmField::Comments), QStringLiteral("one\ntwo"));
        Table saved(QStringLiteral("saved"));
        saved.loadFromFile(DataFile());
        QCOMPARE(saved.fieldByName(AlarmField::Comments).asString(), QStringLiteral("one\ntwo"));
    }

    void duplicate_data()
    {
        QTest::addColumn<bool>("fromCalendar");
        QTest::newRow("list") << false;
        QTest::newRow("calendar") << true;
    }

    void duplicate()
    {
        QFETCH(bool, fromCalendar);
        listWith({QStringLiteral("one"), QStringLiteral("two")});
        // "two": no end date, every other field set to something else than a
        // new record's default.
        master().last();
        master().edit();
        master().fieldByName(AlarmField::Comments).setAsString(QStringLiteral("memo"));
        master().fieldByName(AlarmField::Sound).setAsInteger(0);
        master().fieldByName(AlarmField::Priority).setAsInteger(2);
        master().fieldByName(AlarmField::Period).setAsInteger(4);
        master().fieldByName(AlarmField::Application).setAsString(QStringLiteral("/usr/bin/true"));
        master().fieldByName(AlarmField::AppSilent).setAsInteger(1);
        master().fieldByName(AlarmField::Enabled).setAsInteger(0);
        master().post();
        QVERIFY(master().fieldByName(AlarmField::DateEnd).isNull());
        m_dm->RefreshSource(m_dm->dsList);
        // The calendar shows the days of both alarms.
        ShowCalendarDays(QDate(2026, 3, 10), QDate(2026, 3, 11));
        // The list is on "one", the calendar on "two" (and the other way).
        Table &source = fromCalendar ? m_dm->cdsCalendar : m_dm->cdsList;
        Table &other = fromCalendar ? m_dm->cdsList : m_dm->cdsCalendar;
        source.last();
        other.first();

        Answers yes(mrYes);
        m_window->btnListCopyClick(fromCalendar ? m_window->btnCalendarCopy : m_window->btnListCopy);
        QVERIFY(yes.asked.isEmpty());
        QVERIFY(!m_window->Editing());
        QVERIFY(!m_dm->Inserting);
        QCOMPARE(SavedTitles(), QStringList({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("two")}));

        master().last();
        QCOMPARE(master().fieldByName(AlarmField::Number).asInteger(), 3);
        QVERIFY(!master().fieldByName(AlarmField::DateEnd).isNull());
        QCOMPARE(master().fieldByName(AlarmField::DateEnd).asDateTime(), 0.0);
        QCOMPARE(master().fieldByName(AlarmField::DateEndUsed).asInteger(), 0);
        QCOMPARE(master().fieldByName(AlarmField::Date).asDateTime(), zel::EncodeDateTime(2026, 3, 11, 9, 30));
        QCOMPARE(field(AlarmField::Comments), QStringLiteral("memo"));
        QCOMPARE(field(AlarmField::Application), QStringLiteral("/usr/bin/true"));
        for (const auto &[name, value] : QList<std::pair<QString, int>>{{AlarmField::Sound, 0},
                                                                        {AlarmField::Priority, 2},
                                                                        {AlarmField::Period, 4},
                                                                        {AlarmField::AppSilent, 1},
                                                                        {AlarmField::Enabled, 0},
                                                                        {AlarmField::Deleted, 0}})
            QCOMPARE(master().fieldByName(name).asInteger(), value);
    }

    void duplicateThatCannotBeSaved()
    {
        listWith({QStringLiteral("one")});
        // A title-less alarm, as a hand-made data file can bring one.
        m_dm->Loading = true;
        master().append();
        master().fieldByName(AlarmField::Number).setAsInteger(2);
        master().fieldByName(AlarmField::Date).setAsDateTime(zel::EncodeDate(2026, 1, 1));
        master().fieldByName(AlarmField::Deleted).setAsInteger(0);
        master().post();
        m_dm->Loading = false;
        m_dm->RefreshSource(m_dm->dsList);
        m_dm->cdsList.first();
        QCOMPARE(FailureOf([this] { m_window->btnListCopyClick(m_window->btnListCopy); }),
                 QStringLiteral("Enter a Title !"));
        // Nothing half made is left open; the display follows again.
        QVERIFY(!m_window->Editing());
        QVERIFY(!m_dm->Inserting);
        QVERIFY(!master().controlsDisabled());
        QCOMPARE(master().recordCount(), 2);
        QVERIFY(m_window->btnListAdd->isEnabled());
    }

    void deleteAlwaysAsks_data()
    {
        QTest::addColumn<bool>("manage");
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("question");
        const QString en = QStringLiteral("Delete alarm  ( two ) ?");
        QTest::newRow("trash option off, No") << false << 0 << int(mrNo) << en;
        QTest::newRow("trash option off, Yes") << false << 0 << int(mrYes) << en;
        QTest::newRow("trash option on, Yes") << true << 0 << int(mrYes) << en;
        QTest::newRow("French") << false << 1 << int(mrYes) << QStringLiteral("Effacer l'alarme  ( two ) ?");
    }

    void deleteAlwaysAsks()
    {
        QFETCH(bool, manage);
        QFETCH(int, language);
        QFETCH(int, answer);
        QFETCH(QString, question);
        KaVar::SetLanguageIndex(language);
        m_window->cbxOptionsManage->setChecked(manage);
        listWith({QStringLiteral("one"), QStringLiteral("two")});
        m_window->btnListNext->click();
        QCOMPARE(m_window->edtEditTitle->text(), QStringLiteral("two"));
        Answers answers(answer);
        m_window->btnListDel->click();
        QCOMPARE(answers.asked, QStringList(question));
        QCOMPARE(answers.types, QList<int>({mtConfirmation}));
        QCOMPARE(answers.buttons, QList<int>({mbYes | mbNo}));
        if (answer == mrNo) {
            QCOMPARE(Titles(m_dm->cdsList), QStringList({QStringLiteral("one"), QStringLiteral("two")}));
            QCOMPARE(m_dm->cdsTrash.recordCount(), 0);
            return;
        }
        QVERIFY(!m_window->Editing());
        QCOMPARE(Titles(m_dm->cdsList), QStringList(QStringLiteral("one")));
        QCOMPARE(Titles(m_dm->cdsTrash), QStringList(QStringLiteral("two")));
        QCOMPARE(m_window->btnMenuTrash->icon().cacheKey(), m_window->btnMenuTrashFull->icon().cacheKey());
        Table saved(QStringLiteral("saved"));
        saved.loadFromFile(DataFile());
        QVERIFY(saved.locate(AlarmField::Title, QStringLiteral("two")));
        QCOMPARE(saved.fieldByName(AlarmField::Deleted).asInteger(), 1);
        // The editor shows what the list now selects.
        QCOMPARE(m_window->edtEditTitle->text(), QStringLiteral("one"));
    }

    void editorWritesOnlyItsPart()
    {
        listWith({QStringLiteral("one")});
        master().edit();
        master().fieldByName(AlarmField::DateEnd).setAsDateTime(zel::EncodeDateTime(2026, 6, 1, 18, 45));
        // A date with seconds, as Remember leaves it.
        master().fieldByName(AlarmField::Date).setAsDateTime(zel::EncodeDateTime(2026, 3, 10, 9, 30, 20));
        master().post();
        m_window->btnListEditClick();
        m_window->edtEditDate->setDate(QDate(2026, 4, 2));
        QCOMPARE(master().fieldByName(AlarmField::Date).asDateTime(), zel::EncodeDateTime(2026, 4, 2, 9, 30, 20));
        // The time boxes show hours and minutes: a time set there is whole
        // minutes, whatever seconds the box still held.
        m_window->edtEditTime->setFocus();
        m_window->edtEditTime->setCurrentSection(QDateTimeEdit::MinuteSection);
        QTest::keyClick(m_window->edtEditTime, Qt::Key_Up);
        QCOMPARE(master().fieldByName(AlarmField::Date).asDateTime(), zel::EncodeDateTime(2026, 4, 2, 9, 31));
        m_window->edtEditTime->setTime(QTime(7, 15, 42));
        QCOMPARE(master().fieldByName(AlarmField::Date).asDateTime(), zel::EncodeDateTime(2026, 4, 2, 7, 15));
        m_window->edtEditDateEnd->setDate(QDate(2026, 7, 3));
        QCOMPARE(master().fieldByName(AlarmField::DateEnd).asDateTime(), zel::EncodeDateTime(2026, 7, 3, 18, 45));
        m_window->edtEditTimeEnd->setTime(QTime(6, 0, 59, 500));
        QCOMPARE(master().fieldByName(AlarmField::DateEnd).asDateTime(), zel::EncodeDateTime(2026, 7, 3, 6, 0));
        QVERIFY(m_window->Modified);

        // Flags store 1 / 0, lists their index.
        const QList<std::pair<QCheckBox *, QString>> flags = {{m_window->edtEditDateEndUsed, AlarmField::DateEndUsed},
                                                              {m_window->cbxEditSound, AlarmField::Sound},
                                                              {m_window->cbxEditAppSilent, AlarmField::AppSilent},
                                                              {m_window->cbxEditAlarmEnabled, AlarmField::Enabled}};
        for (const auto &[box, name] : flags) {
            box->setChecked(true);
            QCOMPARE(master().fieldByName(name).asInteger(), 1);
            box->setChecked(false);
            QCOMPARE(master().fieldByName(name).asInteger(), 0);
        }
        m_window->cbEditPeriodicity->setCurrentIndex(6);
        QCOMPARE(master().fieldByName(AlarmField::Period).asInteger(), 6);
        m_window->rgpEditPriority->button(0)->click();
        QCOMPARE(master().fieldByName(AlarmField::Priority).asInteger(), 0);
        m_window->edtEditApp->setText(QStringLiteral("/usr/bin/env"));
        QCOMPARE(field(AlarmField::Application), QStringLiteral("/usr/bin/env"));

        // Saturday and Sunday are green in the drop-down calendars.
        for (TDateBox *box : {m_window->edtEditDate, m_window->edtEditDateEnd}) {
            for (Qt::DayOfWeek day : {Qt::Saturday, Qt::Sunday})
                QCOMPARE(box->calendarWidget()->weekdayTextFormat(day).foreground().color(), QColor(0, 128, 0));
            QVERIFY(box->calendarWidget()->weekdayTextFormat(Qt::Monday).foreground().color() != QColor(0, 128, 0));
        }
    }

    void emptyEndDate_data()
    {
        QTest::addColumn<QVariant>("end");
        QTest::newRow("missing") << QVariant();
        QTest::newRow("zero") << QVariant(0.0);
    }

    void emptyEndDate()
    {
        QFETCH(QVariant, end);
        listWith({QStringLiteral("one")});
        master().edit();
        master().fieldByName(AlarmField::DateEnd).setValue(end);
        master().fieldByName(AlarmField::Period).setAsInteger(2);
        master().post();
        m_dm->RefreshCurrentView();
        QVERIFY(m_window->edtEditDateEnd->isEmpty());
        QCOMPARE(m_window->edtEditDateEnd->text().trimmed(), QString());
        QCOMPARE(m_window->edtEditTimeEnd->time(), QTime(0, 0));

        m_window->show();
        m_window->btnListEditClick();
        QVERIFY(m_window->edtEditDateEnd->isEnabled());
        // Its calendar opens at the alarm's month, without choosing anything.
        m_window->edtEditDateEnd->showCalendar();
        QCalendarWidget *calendar = m_window->edtEditDateEnd->calendarWidget();
        QTRY_VERIFY(calendar->isVisible());
        QCOMPARE(calendar->yearShown(), 2026);
        QCOMPARE(calendar->monthShown(), 3);
        QVERIFY(m_window->edtEditDateEnd->isEmpty());
        QVERIFY(!m_window->Modified);
        // Choosing a day with the keys (they go to the open calendar) writes it.
        QWidget *keys = QApplication::activePopupWidget()->focusWidget();
        QVERIFY(keys && calendar->isAncestorOf(keys));
        QTest::keyClick(keys, Qt::Key_Right);
        QTest::keyClick(keys, Qt::Key_Return);
        QVERIFY(!calendar->isVisible());
        QCOMPARE(m_window->edtEditDateEnd->date(), QDate(2026, 3, 11));
        QCOMPARE(master().fieldByName(AlarmField::DateEnd).asDateTime(), zel::EncodeDate(2026, 3, 11));
        QVERIFY(m_window->Modified);
    }

    void endDateFollowsThePeriodicity()
    {
        listWith({QStringLiteral("one")});
        m_window->btnListEditClick();
        const QList<QWidget *> end = {m_window->edtEditDateEnd, m_window->edtEditTimeEnd, m_window->edtEditDateEndUsed};
        for (QWidget *w : end)
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        m_window->cbEditPeriodicity->setCurrentIndex(2);
        QCOMPARE(m_window->cbEditPeriodicity->currentText(), QStringLiteral("Every day"));
        QVERIFY(m_window->Modified);
        for (QWidget *w : end)
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
        m_window->cbEditPeriodicity->setCurrentIndex(0);
        for (QWidget *w : end)
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    }

    void applicationPicker_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("existing");
        QTest::newRow("vanished folder") << QStringLiteral("/nowhere/gone/tool") << false;
        QTest::newRow("no folder") << QStringLiteral("tool") << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("existing folder") << QString() << true;
    }

    void applicationPicker()
    {
        QFETCH(QString, value);
        QFETCH(bool, existing);
        QTemporaryDir dir;
        if (existing)
            value = dir.path() + QStringLiteral("/tool");
        listWith({QStringLiteral("one")});
        master().edit();
        master().fieldByName(AlarmField::Application).setAsString(value);
        master().post();
        {
            // Browsing, the picker does not open.
            FileDialogs dialogs(QStringLiteral("/usr/bin/env"));
            m_window->edtEditAppButtonClick();
            QVERIFY(dialogs.requests.isEmpty());
        }
        m_window->btnListEditClick();
        QVERIFY(m_window->edtEditAppButton->isEnabled());
        {
            // Cancelled: nothing changes.
            FileDialogs dialogs{QString()};
            m_window->edtEditAppButton->click();
            QCOMPARE(dialogs.requests.size(), 1);
            const FileDialogRequest &r = dialogs.requests[0];
            QCOMPARE(r.title, QStringLiteral("Select Application File..."));
            QCOMPARE(r.filter, QStringLiteral("Program Files|*.exe;*.com;*.bat|All Files|*.*"));
            QCOMPARE(r.defaultExtension, QStringLiteral("exe"));
            QCOMPARE(r.folder, existing ? dir.path() + QLatin1Char('/') : QStringLiteral("/usr/bin"));
            QVERIFY(r.programs);
            QVERIFY(!r.save);
            QCOMPARE(field(AlarmField::Application), value);
            QVERIFY(!m_window->Modified);
        }
        FileDialogs dialogs(QStringLiteral("/usr/bin/env"));
        m_window->edtEditAppButton->click();
        QCOMPARE(m_window->edtEditApp->text(), QStringLiteral("/usr/bin/env"));
        QCOMPARE(field(AlarmField::Application), QStringLiteral("/usr/bin/env"));
        QVERIFY(m_window->Modified);
    }

    void titleClickOrdersByStoredValue_data()
    {
        QTest::addColumn<QString>("grid");
        QTest::addColumn<QString>("sortField");
        QTest::addColumn<QStringList>("order");
        // Periodicity 1 "Every hour", 2 "Every day", 10 "On every exit";
        // priority 0 "Low", 1 "Normal", 2 "High": the texts would order them
        // otherwise.
        QTest::newRow("list, periodicity")
            << QStringLiteral("grdList") << AlarmField::Period
            << QStringList({QStringLiteral("hourly"), QStringLiteral("daily"), QStringLiteral("exit")});
        QTest::newRow("list, priority") << QStringLiteral("grdList") << AlarmField::Priority
                                        << QStringList({QStringLiteral("daily"), QStringLiteral("exit"),
                                                        QStringLiteral("hourly")});
        QTest::newRow("list, title") << QStringLiteral("grdList") << AlarmField::Title
                                     << QStringList({QStringLiteral("daily"), QStringLiteral("exit"),
                                                     QStringLiteral("hourly")});
        QTest::newRow("calendar, periodicity")
            << QStringLiteral("grdCalendar") << AlarmField::Period
            << QStringList({QStringLiteral("hourly"), QStringLiteral("daily"), QStringLiteral("exit")});
        QTest::newRow("trash, periodicity")
            << QStringLiteral("grdTrash") << AlarmField::Period
            << QStringList({QStringLiteral("hourly"), QStringLiteral("daily"), QStringLiteral("exit")});
    }

    void titleClickOrdersByStoredValue()
    {
        QFETCH(QString, grid);
        QFETCH(QString, sortField);
        QFETCH(QStringList, order);
        const bool trash = grid == QLatin1String("grdTrash");
        const struct
        {
            const char *title;
            int day, period, priority;
        } alarms[] = {{"exit", 10, 10, 1}, {"daily", 11, 2, 0}, {"hourly", 12, 1, 2}};
        for (const auto &a : alarms) {
            AddAlarm(*m_dm, zel::EncodeDate(2026, 3, a.day), QString::fromLatin1(a.title), trash ? 1 : 0, 1, a.period);
            master().edit();
            master().fieldByName(AlarmField::Priority).setAsInteger(a.priority);
            master().post();
        }
        QToolButton *page = grid == QLatin1String("grdList")       ? m_window->btnMenuList
                            : grid == QLatin1String("grdCalendar") ? m_window->btnMenuCalendar
                                                                   : m_window->btnMenuTrash;
        m_window->btnMenuClick(page);
        if (page == m_window->btnMenuCalendar)
            ShowCalendarDays(QDate(2026, 3, 10), QDate(2026, 3, 12));
        m_window->show();
        auto *view = m_window->findChild<TDataGrid *>(grid);
        QVERIFY(view);
        Table &table = *view->tableModel()->columnField(0)->dataSet();
        QCOMPARE(Titles(table),
                 QStringList({QStringLiteral("exit"), QStringLiteral("daily"), QStringLiteral("hourly")}));
        // Select "daily", then click the column's title.
        QVERIFY(table.locate(AlarmField::Title, QStringLiteral("daily")));
        int column = -1;
        for (int c = 0; c < view->model()->columnCount(); ++c) {
            if (view->columnField(c) == sortField)
                column = c;
        }
        QVERIFY(column >= 0);
        QHeaderView *header = view->horizontalHeader();
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2));
        QCOMPARE(Titles(table), order);
        // The selected alarm stays selected, and the master follows it.
        QCOMPARE(table.fieldByName(AlarmField::Title).asString(), QStringLiteral("daily"));
        QCOMPARE(field(AlarmField::Title), QStringLiteral("daily"));
        // The order lasts through a re-read of the view.
        m_dm->RefreshCurrentView();
        QCOMPARE(Titles(table), order);
    }

    void gridKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("editing");
        QTest::addColumn<bool>("inserting");
        QTest::addColumn<int>("questions");
        QTest::newRow("Enter") << int(Qt::Key_Return) << true << false << 0;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << true << false << 0;
        QTest::newRow("Space") << int(Qt::Key_Space) << true << false << 0;
        QTest::newRow("Insert") << int(Qt::Key_Insert) << true << true << 0;
        QTest::newRow("Delete") << int(Qt::Key_Delete) << false << false << 1;
    }

    void gridKeys()
    {
        QFETCH(int, key);
        QFETCH(bool, editing);
        QFETCH(bool, inserting);
        QFETCH(int, questions);
        listWith({QStringLiteral("one"), QStringLiteral("two")});
        m_window->show();
        Answers no(mrNo);
        QTest::keyClick(m_window->grdList, Qt::Key(key));
        QCOMPARE(m_window->Editing(), editing);
        QCOMPARE(m_dm->Inserting, inserting);
        QCOMPARE(no.asked.size(), questions);
        // The cursor stays on the alarm it was on.
        QCOMPARE(m_dm->cdsList.recNo(), 0);
    }

    void gridKeysOnAnEmptyList()
    {
        m_window->btnMenuClick(m_window->btnMenuList);
        Answers no(mrNo);
        // Nothing to edit or delete; Insert still starts a new alarm.
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_Delete}) {
            QVERIFY(m_window->grdListKeyDown(key));
            QVERIFY(!m_window->Editing());
        }
        QVERIFY(no.asked.isEmpty());
        QVERIFY(m_window->grdListKeyDown(Qt::Key_Insert));
        QVERIFY(m_dm->Inserting);
        QVERIFY(!m_window->grdListKeyDown(Qt::Key_A));
    }

    void doubleClickEdits()
    {
        listWith({QStringLiteral("one"), QStringLiteral("two")});
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        const QRect row = m_window->grdList->visualRect(m_window->grdList->model()->index(1, 1));
        // A double click: the first click's press, then the double click.
        QTest::mousePress(m_window->grdList->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(m_window->grdList->viewport(), Qt::LeftButton, {}, row.center());
        QVERIFY(m_window->Editing());
        QCOMPARE(m_window->edtEditTitle->text(), QStringLiteral("two"));
    }

    void navigationMovesTheEditor()
    {
        listWith({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
        QVERIFY(!m_window->btnListFirst->isEnabled());
        m_window->btnListLast->click();
        QCOMPARE(m_window->edtEditTitle->text(), QStringLiteral("three"));
        QVERIFY(!m_window->btnListNext->isEnabled());
        m_window->btnListPrior->click();
        QCOMPARE(m_window->edtEditTitle->text(), QStringLiteral("two"));
        m_window->btnListFirst->click();
        QCOMPARE(m_window->edtEditTitle->text(), QStringLiteral("one"));
        m_window->btnListNext->click();
        QCOMPARE(m_window->edtEditTitle->text(), QStringLiteral("two"));
        QCOMPARE(m_window->edtEditDate->date(), QDate(2026, 3, 11));
    }

    void backToCalendar_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::newRow("confirm") << true;
        QTest::newRow("cancel") << false;
    }

    void backToCalendar()
    {
        QFETCH(bool, confirm);
        listWith({QStringLiteral("one")});
        m_window->BackToCalendar = true;
        m_window->btnListEditClick();
        QTest::keyClicks(m_window->edtEditTitle, QStringLiteral("x"));
        Answers yes(mrYes);
        if (confirm)
            m_window->btnListPostClick();
        else
            m_window->btnListCancelClick();
        QVERIFY(!m_window->Editing());
        QVERIFY(!m_window->BackToCalendar);
        QCOMPARE(m_window->CurrentPageTag(), 0);
        QVERIFY(m_window->btnMenuCalendar->isChecked());
        QCOMPARE(field(AlarmField::Title), confirm ? QStringLiteral("onex") : QStringLiteral("one"));
    }

    void confirmFailureKeepsTheWayBack()
    {
        listWith({QStringLiteral("one")});
        m_window->BackToCalendar = true;
        m_window->btnListEditClick();
        m_window->edtEditTitle->clear();
        Answers yes(mrYes);
        QCOMPARE(FailureOf([this] { m_window->btnListPostClick(); }), QStringLiteral("Enter a Title !"));
        QVERIFY(m_window->Editing());
        QVERIFY(m_window->BackToCalendar);
        QCOMPARE(m_window->CurrentPageTag(), 1);
    }

    void trayNewAlarm()
    {
        listWith({QStringLiteral("one")});
        m_window->btnMenuClick(m_window->btnMenuTrash);
        QVERIFY(m_window->miNew->isEnabled());
        m_window->miNew->trigger();
        QVERIFY(m_window->isVisible());
        QCOMPARE(m_window->CurrentPageTag(), 1);
        QVERIFY(m_dm->Inserting);
        QVERIFY(!m_window->TrayResponds());
        QVERIFY(m_window->edtEditDate->calendarWidget()->isVisible());
    }

    void dateBoxKeys()
    {
        listWith({QStringLiteral("one")});
        m_window->show();
        m_window->btnListEditClick();
        // F4 opens the calendar; Tab leaves the box for the next control.
        QTest::keyClick(m_window->edtEditDate, Qt::Key_F4);
        QTRY_VERIFY(m_window->edtEditDate->calendarWidget()->isVisible());
        QTest::keyClick(QApplication::activePopupWidget()->focusWidget(), Qt::Key_Escape);
        QVERIFY(!m_window->edtEditDate->calendarWidget()->isVisible());
        QVERIFY(m_window->Editing());
        QCOMPARE(master().fieldByName(AlarmField::Date).asDateTime(), zel::EncodeDateTime(2026, 3, 10, 9, 30));
        m_window->edtEditDate->setFocus();
        QTest::keyClick(m_window->edtEditDate, Qt::Key_Tab);
        QCOMPARE(m_window->focusWidget(), m_window->edtEditTime);
        QTest::keyClick(m_window->edtEditTime, Qt::Key_Tab);
        QCOMPARE(m_window->focusWidget(), m_window->edtEditTitle);
    }
};

QTEST_MAIN(TestListPage)
#include "tst_list_page.moc"
