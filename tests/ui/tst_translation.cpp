// The interface language on the program's windows with the installed
// language files: the alarm box in French, the way back to English of every
// text, the completeness of the two files, the stored language at start,
// nothing while the start-up builds the windows, and the run-time texts.
#include "base/Translator.h"
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_System.h"
#include "engine/F_KA_Reminder.h"
#include "engine/F_KA_Show.h"
#include "store/D_KA_Alarms.h"
#include "support/ProgramFixture.h"
#include "support/TestSupport.h"
#include "ui/F_KA_Main.h"

#include <QAbstractButton>
#include <QAction>
#include <QCalendarWidget>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace store;
using namespace testsupport;

namespace {

const QString SourceLangDir = QStringLiteral(ALMARIK_SOURCE_DIR "/share/Lang/");

// The section "Translations" of an installed language file.
QHash<QString, QString> LanguageFile(const QString &name)
{
    QFile file(SourceLangDir + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    return lang::ReadIniSection(file.readAll(), QStringLiteral("Translations"));
}

// Every translated text of the windows, keyed as in the language files
// (lower case).
QHash<QString, QString> TextsOf(const QList<QWidget *> &windows)
{
    QHash<QString, QString> all;
    for (QWidget *w : windows) {
        const QHash<QString, QString> texts = TTranslator::Texts(w);
        for (auto it = texts.cbegin(); it != texts.cend(); ++it)
            all.insert(it.key().toLower(), it.value());
    }
    return all;
}

// Keys of texts a user reads as designed words: captions, hints, list items
// and column titles. A menu item's hint is its caption, unless set.
bool IsDesignedText(const QString &key)
{
    static const QRegularExpression menuItemHint(QStringLiteral(R"(\.mi\w+\.hint$)"));
    return (key.endsWith(QLatin1String(".caption")) || key.endsWith(QLatin1String(".hint")) ||
            key.endsWith(QLatin1String(".items"))) &&
           !menuItemHint.match(key).hasMatch();
}

// Designed texts that are no words of a language: data shown by the window,
// numbers, the program's name, signs.
bool IsLanguageFree(const QString &key, const QString &value)
{
    static const QStringList dataKeys = {
        // Filled at run time (counters, the alarm shown, the date, the
        // languages by their own names, the lists filled from built-in pairs).
        QStringLiteral("fmkamain.caption"),
        QStringLiteral("fmkareminder.caption"),
        QStringLiteral("fmkamain.systray.hint"),
        QStringLiteral("fmkamain.pnlistcount.caption"),
        QStringLiteral("fmkamain.pncalendarcount.caption"),
        QStringLiteral("fmkamain.pntrashcount.caption"),
        QStringLiteral("fmkamain.lstoptionslang.items"),
        QStringLiteral("fmkamain.cbeditperiodicity.items"),
        QStringLiteral("fmkamain.rgpeditpriority.items"),
        QStringLiteral("fmkashow.lbdatetime.caption"),
        QStringLiteral("fmkashow.pntitle.caption"),
        QStringLiteral("fmkashow.lbtimer.caption"),
    };
    if (dataKeys.contains(key))
        return true;
    // "*", "...", "0": no letters.
    return !std::any_of(value.cbegin(), value.cend(), [](QChar c) { return c.isLetter(); });
}

// The drop-down calendar of the date boxes names its months itself (in the
// program's month names).
bool InsideQtCalendar(const QObject *o)
{
    for (; o; o = o->parent()) {
        if (qobject_cast<const QCalendarWidget *>(o))
            return true;
    }
    return false;
}

} // namespace

class TestTranslation : public QObject
{
    Q_OBJECT

    ProgramFixture program;
    TfmKaShow *box = nullptr;
    TfmKaReminder *reminder = nullptr;

    QList<QWidget *> Windows() const { return {program.window, box, reminder}; }

    void Start()
    {
        program.start();
        program.window->SetAlarmBox(box);
        // It joins the main window as it is made.
        reminder = new TfmKaReminder;
    }

private Q_SLOTS:
    void initTestCase()
    {
        InitProgramUnits();
        KaVar::Folders folders = KaVar::Paths();
        folders.LangDir = SourceLangDir;
        KaVar::SetPaths(folders);
        ZELApplication()->AppPhase = apRunning;
        box = new TfmKaShow;
        Start();
    }

    void cleanupTestCase()
    {
        delete reminder;
        program.stop();
        delete box;
    }

    void cleanup()
    {
        ZELApplication()->AppPhase = apRunning;
        {
            const QSignalBlocker block(program.window->lstOptionsLang);
            program.window->lstOptionsLang->setCurrentRow(0);
        }
        program.window->ApplyLanguage(0);
        SetMessageDialogHook({});
    }

    // The box's caption and the bases of its periodicity and launch lines
    // come from French.lang; the values it appends do not.
    void alarmBoxInFrench()
    {
        const QHash<QString, QString> french = LanguageFile(QStringLiteral("French.lang"));
        const QString caption = french.value(QStringLiteral("fmkashow.caption"));
        const QString periodicity = french.value(QStringLiteral("fmkashow.pnperiodicity.caption"));
        const QString launch = french.value(QStringLiteral("fmkashow.pnlaunch.caption"));
        QVERIFY(!caption.trimmed().isEmpty() && caption.trimmed() != QLatin1String("Alarm"));
        QVERIFY(!periodicity.isEmpty() && periodicity != QLatin1String("Periodicity :"));
        QVERIFY(!launch.isEmpty() && launch != QLatin1String("Launch :"));

        program.window->lstOptionsLang->setCurrentRow(1);
        QCOMPARE(box->windowTitle(), caption);
        QCOMPARE(box->pnPeriodicity->text(), periodicity);

        program.dm->cdsAlarms.emptyDataSet();
        const QString application = QStringLiteral("/usr/bin/true");
        program.dm->cdsAlarms.appendRecord({1, zel::EncodeDateTime(2026, 3, 12, 9, 30), QVariant(), 0,
                                            QStringLiteral("Dentist"), 1, 1, QString(), 0, 2, application, 0, 0});
        program.dm->cdsThread.setFilter(QStringLiteral("Deleted = 0"));
        program.dm->cdsThread.refresh();
        program.dm->cdsThread.first();
        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(box->isVisible(), 5000);
            const auto close = qScopeGuard([&] { box->btnOk->click(); });
            QCOMPARE(box->windowTitle(), KaVar::AppTitle() + QStringLiteral(" - ") + caption.trimmed());
            // The daily periodicity's name comes from the built-in French
            // list, the path as it is.
            QCOMPARE(box->pnPeriodicity->text(),
                     periodicity + QStringLiteral(" ") + QString::fromUtf8(PeriodicityNames[1][2]));
            QCOMPARE(box->pnLaunch->text(), launch + QStringLiteral(" ") + application);
            seen = true;
        });
        int minutes = 0;
        box->DisplayAlarm(minutes);
        QVERIFY(seen);
        QCOMPARE(box->pnPeriodicity->text(), periodicity);
        QCOMPARE(box->pnLaunch->text(), launch);
        program.dm->cdsAlarms.emptyDataSet();
    }

    // French applies every text of French.lang; English then gives back every
    // text property of the windows as designed.
    void frenchThenEnglishRestoresEveryText()
    {
        const QHash<QString, QString> designed = TextsOf(Windows());
        const QHash<QString, QString> french = LanguageFile(QStringLiteral("French.lang"));
        program.window->lstOptionsLang->setCurrentRow(1);
        QCOMPARE(KaVar::LanguageIndex(), 1);
        const QHash<QString, QString> inFrench = TextsOf(Windows());
        for (auto it = french.cbegin(); it != french.cend(); ++it)
            QCOMPARE(inFrench.value(it.key(), QStringLiteral("<no such text: ") + it.key() + QLatin1Char('>')),
                     it.value());
        QCOMPARE(program.window->btnMenuCalendar->text(), QStringLiteral("Calendrier"));
        QCOMPARE(program.window->miExit->text(), QStringLiteral("Quitter"));

        program.window->lstOptionsLang->setCurrentRow(0);
        QCOMPARE(KaVar::LanguageIndex(), 0);
        const QHash<QString, QString> back = TextsOf(Windows());
        for (auto it = designed.cbegin(); it != designed.cend(); ++it)
            QCOMPARE(back.value(it.key()) + QStringLiteral(" @ ") + it.key(),
                     it.value() + QStringLiteral(" @ ") + it.key());
        QCOMPARE(back.size(), designed.size());
    }

    // English.lang holds the designed English text of every caption, hint,
    // list item and column title (so French can be undone), French.lang the
    // same keys, and every French text is there to change something.
    void languageFilesAreComplete()
    {
        const QHash<QString, QString> english = LanguageFile(QStringLiteral("English.lang"));
        const QHash<QString, QString> french = LanguageFile(QStringLiteral("French.lang"));
        const QHash<QString, QString> designed = TextsOf(Windows());
        for (auto it = designed.cbegin(); it != designed.cend(); ++it) {
            if (!IsDesignedText(it.key()) || IsLanguageFree(it.key(), it.value()))
                continue;
            QVERIFY2(english.contains(it.key()),
                     qPrintable(QStringLiteral("English.lang lacks ") + it.key() + QStringLiteral("=") + it.value()));
        }
        for (auto it = english.cbegin(); it != english.cend(); ++it) {
            QCOMPARE(designed.value(it.key(), QStringLiteral("<no such text: ") + it.key() + QLatin1Char('>')),
                     it.value());
            QVERIFY2(french.contains(it.key()), qPrintable(QStringLiteral("French.lang lacks ") + it.key()));
        }
        for (auto it = french.cbegin(); it != french.cend(); ++it)
            QVERIFY2(english.contains(it.key()), qPrintable(QStringLiteral("English.lang lacks ") + it.key()));
    }

    // A text the walk cannot reach is a text no language file can change:
    // every label, button, group box, menu and menu item with words has a
    // name (the radio groups' buttons are their Items).
    void everyWordedControlIsNamed()
    {
        for (QWidget *window : Windows()) {
            QList<QObject *> objects = window->findChildren<QObject *>();
            for (QObject *o : std::as_const(objects)) {
                QString text;
                if (const auto *l = qobject_cast<QLabel *>(o))
                    text = l->text();
                else if (const auto *b = qobject_cast<QAbstractButton *>(o))
                    text = b->text() + b->toolTip();
                else if (const auto *g = qobject_cast<QGroupBox *>(o))
                    text = g->title();
                else if (const auto *m = qobject_cast<QMenu *>(o))
                    text = m->title();
                else if (const auto *a = qobject_cast<QAction *>(o))
                    text = a->isSeparator() ? QString() : a->text();
                if (!o->objectName().isEmpty() || qobject_cast<TRadioGroup *>(o->parent()) ||
                    IsLanguageFree(QString(), text) || InsideQtCalendar(o))
                    continue;
                QFAIL(qPrintable(
                    QStringLiteral("unnamed %1 \"%2\" in %3")
                        .arg(QString::fromLatin1(o->metaObject()->className()), text, window->objectName())));
            }
        }
    }

    // A stored language of 2 or more starts in English; French is kept from
    // one run to the next.
    void storedLanguageAtStart_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("index");
        QTest::newRow("English") << "0" << 0;
        QTest::newRow("French") << "1" << 1;
        QTest::newRow("2") << "2" << 0;
        QTest::newRow("9") << "9" << 0;
    }

    void storedLanguageAtStart()
    {
        QFETCH(QString, stored);
        QFETCH(int, index);
        const QHash<QString, QString> designed = TextsOf(Windows());
        program.window->lstOptionsLang->setCurrentRow(1);
        // The window saves its settings as it ends; the value is changed
        // between the runs.
        delete program.window;
        {
            QSettings s(QStringLiteral("Morvane"), QStringLiteral("Almarik"));
            s.setValue(QStringLiteral("KA2/MainForm/Language"), stored);
        }
        program.window = new TfmKaMain(program.dm);
        program.window->SetAlarmBox(box);
        program.window->SetReminderBox(reminder);
        program.window->ApplyLanguage();
        QCOMPARE(KaVar::LanguageIndex(), index);
        QCOMPARE(program.window->lstOptionsLang->currentRow(), index);
        const QString calendar = index == 1 ? QStringLiteral("Calendrier") : QStringLiteral("Calendar");
        QCOMPARE(program.window->btnMenuCalendar->text(), calendar);
        QCOMPARE(box->pnLaunch->text(),
                 index == 1
                     ? LanguageFile(QStringLiteral("French.lang")).value(QStringLiteral("fmkashow.pnlaunch.caption"))
                     : QStringLiteral("Launch :"));
        if (index == 0)
            QCOMPARE(TextsOf(Windows()), designed);
    }

    // While the start-up builds the windows, a language choice does nothing.
    void nothingWhileTheSplashRuns()
    {
        const QHash<QString, QString> designed = TextsOf(Windows());
        ZELApplication()->AppPhase = apInitializing;
        program.window->lstOptionsLang->setCurrentRow(1);
        program.window->ApplyLanguage(1);
        QCOMPARE(KaVar::LanguageIndex(), 0);
        QCOMPARE(TextsOf(Windows()), designed);
    }

    // The thread priority keeps its selection and its items follow the
    // language; the editor's lists come from the built-in pairs.
    void listsFollowTheLanguage()
    {
        program.window->cbOptionsPriority->setCurrentIndex(2);
        program.window->lstOptionsLang->setCurrentRow(1);
        QCOMPARE(program.window->cbOptionsPriority->currentIndex(), 2);
        QCOMPARE(
            program.window->cbOptionsPriority->itemText(2),
            lang::SplitTexts(
                LanguageFile(QStringLiteral("French.lang")).value(QStringLiteral("fmkamain.cboptionspriority.items")))
                .value(2));
        QCOMPARE(program.window->cbEditPeriodicity->itemText(0), QStringLiteral("Aucune"));
        QCOMPARE(program.window->rgpOptionsBoxPos->items().value(4), QStringLiteral("En bas \u00e0 droite"));
        program.window->lstOptionsLang->setCurrentRow(0);
        QCOMPARE(program.window->cbOptionsPriority->currentIndex(), 2);
        QCOMPARE(program.window->cbOptionsPriority->itemText(2), QStringLiteral("Normal"));
    }

    // A message is built in the language chosen when it is shown.
    void runTimeTextsAtTheMomentOfUse()
    {
        QStringList shown;
        SetMessageDialogHook([&shown](const MessageDialogRequest &r) {
            shown << r.text;
            return int(mrOk);
        });
        program.window->lstOptionsLang->setCurrentRow(1);
        QVERIFY(!program.window->dlgLoginCheckUser(QStringLiteral("x"), QStringLiteral("y")));
        program.window->lstOptionsLang->setCurrentRow(0);
        QVERIFY(!program.window->dlgLoginCheckUser(QStringLiteral("x"), QStringLiteral("y")));
        QCOMPARE(shown, QStringList({QStringLiteral("Login invalide !"), QStringLiteral("Invalid Login !")}));
    }
};

QTEST_MAIN(TestTranslation)
#include "tst_translation.moc"
