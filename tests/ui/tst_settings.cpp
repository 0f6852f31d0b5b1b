// The options page and its stored settings: defaults on a first start, the
// exact value names and texts, the handlers' rules (password, language,
// positions not stored, unreadable values), autostart, the sound choice
// without a sound output, the wave file dialog and the login dialog.
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_System.h"
#include "base/TPlayer.h"
#include "store/D_KA_Alarms.h"
#include "diag/ZelException.h"
#include "support/ProgramFixture.h"
#include "ui/F_KA_Main.h"
#include "ui/FormStorage.h"
#include "ui/LoginDialog.h"
#include "support/Failure.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace testsupport;

namespace {

QString Stored(const QString &name)
{
    QSettings s(QStringLiteral("Morvane"), QStringLiteral("Almarik"));
    return s.value(QStringLiteral("KA2/MainForm/") + name).toString();
}

void Store(const QString &name, const QString &value)
{
    QSettings s(QStringLiteral("Morvane"), QStringLiteral("Almarik"));
    s.setValue(QStringLiteral("KA2/MainForm/") + name, value);
    s.sync();
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

    ProgramFixture m_program;
    TfmKaMain *m_window = nullptr;

    // A new run of the program: a fresh window that restores the settings.
    void restart()
    {
        m_program.restartWindow();
        m_window = m_program.window;
    }

    // The next run with values stored between the runs (the ending window
    // saves its own settings first).
    void restartStoring(const QList<QPair<QString, QString>> &values)
    {
        delete m_program.window;
        m_program.window = nullptr;
        for (const auto &[name, value] : values)
            Store(name, value);
        m_program.window = new TfmKaMain(m_program.dm);
        m_window = m_program.window;
    }

private Q_SLOTS:
    void initTestCase()
    {
        InitProgramUnits();
        ZELApplication()->AppPhase = apRunning;
    }

    void init()
    {
        m_program.start();
        m_window = m_program.window;
    }

    void cleanup()
    {
        m_program.stop();
        QFile::remove(AutoStartEntryPath());
    }

    void firstStartDefaults()
    {
        const TfmKaMain &w = *m_window;
        QVERIFY(w.cbxOptionsEnabled->isChecked());
        QVERIFY(w.cbxOptionsConfirmEdit->isChecked());
        QVERIFY(w.cbxOptionsConfirmCancel->isChecked());
        QVERIFY(w.cbxOptionsManage->isChecked());
        QVERIFY(w.cbxOptionsStayOnTop->isChecked());
        QVERIFY(!w.cbxOptionsUseLogin->isChecked());
        QVERIFY(!w.cbxOptionsNoRememberOnPeriodic->isChecked());
        QVERIFY(!w.cbxOptionsAutoStart->isChecked());
        QCOMPARE(w.edtOptionsCheckValue->position(), 30);
        QCOMPARE(w.edtOptionsPurgeValue->position(), 15);
        QCOMPARE(w.edtOptionsRememberValue->position(), 10);
        QCOMPARE(w.edtOptionsAutoRememberValue->position(), 5);
        QCOMPARE(w.edtOptionsReminderValue->position(), 7);
        QCOMPARE(w.edtOptionsWebUpdateValue->position(), 7);
        QCOMPARE(w.edtOptionsMaginValue->position(), 50);
        QCOMPARE(w.edtOptionsPurgeShow->text(), QStringLiteral("15"));
        QCOMPARE(w.rgpOptionsBoxPos->itemIndex(), 4);
        QCOMPARE(w.cbOptionsPriority->currentText(), QStringLiteral("Low"));
        QCOMPARE(w.lstOptionsLang->currentRow(), 0);
        QCOMPARE(w.edtOptionsWaveVol->value(), 0);
        QCOMPARE(KaVar::LanguageIndex(), 0);
        QCOMPARE(w.lbOptionsFootnote->text(), QStringLiteral("Set 0 to deactivate"));
        // The up-down shows its value in its box.
        m_window->edtOptionsPurgeValue->setPosition(91);
        QCOMPARE(w.edtOptionsPurgeShow->text(), QStringLiteral("90"));
    }

    // The settings file read back as text: the value names and texts.
    // (No sound output here: Beep is used for the run, Wave stays the stored
    // choice.)
    void valueNamesAndTexts()
    {
        m_window->edtOptionsWave->setText(QStringLiteral("/home/me/ring.wav"));
        m_window->edtOptionsWaveVol->setValue(-600);
        m_window->SaveSettings();
        QFile file(m_window->FormStorage->FileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY(text.contains(QLatin1String("[KA2]")));
        for (const char *line :
             {"MainForm\\cbxOptionsEnabled_Checked=True", "MainForm\\cbxOptionsConfirmEdit_Checked=True",
              "MainForm\\rbOptionsWave_Checked=True", "MainForm\\rbOptionsBeep_Checked=False",
              "MainForm\\edtOptionsWave_Text=/home/me/ring.wav", "MainForm\\edtOptionsWaveVol_Position=-600",
              "MainForm\\edtOptionsPurgeValue_Position=15", "MainForm\\edtOptionsCheckValue_Position=30",
              "MainForm\\dlgLogin_Active=False", "MainForm\\btnMenuCalendar_DownButton=True",
              "MainForm\\btnMenuList_DownButton=False", "MainForm\\FormVersion=0", "MainForm\\Language=0",
              "MainForm\\Priority=1", "MainForm\\Pwd=", "MainForm\\cbxOptionsStayOnTop_Checked=True"})
            QVERIFY2(text.contains(QLatin1String(line)), line);
        // The margin and the box position are not stored.
        QVERIFY(!text.contains(QLatin1String("Magin")));
        QVERIFY(!text.contains(QLatin1String("BoxPos")));
    }

    void valuesComeBack()
    {
        TfmKaMain &w = *m_window;
        w.edtOptionsPurgeValue->setPosition(30);
        w.cbxOptionsConfirmEdit->setChecked(false);
        w.edtOptionsUser->setText(QStringLiteral("me"));
        w.cbOptionsPriority->setCurrentIndex(2);
        w.rgpOptionsBoxPos->setItemIndex(1);
        w.edtOptionsMaginValue->setPosition(100);
        w.btnMenuClick(w.btnMenuList);
        w.SaveSettings();
        restart();
        QCOMPARE(m_window->edtOptionsPurgeValue->position(), 30);
        QVERIFY(!m_window->cbxOptionsConfirmEdit->isChecked());
        QCOMPARE(m_window->edtOptionsUser->text(), QStringLiteral("me"));
        QCOMPARE(m_window->cbOptionsPriority->currentIndex(), 2);
        QCOMPARE(m_window->CurrentPageTag(), 1);
        // Not stored: every start begins with "Bottom right" and 50.
        QCOMPARE(m_window->rgpOptionsBoxPos->itemIndex(), 4);
        QCOMPARE(m_window->edtOptionsMaginValue->position(), 50);
    }

    // The window ends while it is shown (the end of a session never hides
    // it): an option changed on the open options page is kept.
    void keptWhenTheWindowEndsShown()
    {
        TfmKaMain &w = *m_window;
        w.show();
        w.btnMenuClick(w.btnMenuOptions);
        w.cbxOptionsConfirmEdit->setChecked(false);
        w.edtOptionsPurgeValue->setPosition(42);
        QVERIFY(w.isVisible());
        restart();
        QVERIFY(!m_window->cbxOptionsConfirmEdit->isChecked());
        QCOMPARE(m_window->edtOptionsPurgeValue->position(), 42);
    }

    // The date of the last update check is kept on its own: saving the other
    // settings leaves it as the update check wrote it.
    void lastWebCheckStandsApart()
    {
        QCOMPARE(m_window->FormStorage->ReadValue(QStringLiteral("LastWebCheck")), QString());
        m_window->FormStorage->WriteValue(QStringLiteral("LastWebCheck"), QStringLiteral("12/1/2026"));
        m_window->SaveSettings();
        restart();
        m_window->SaveSettings();
        QCOMPARE(Stored(QStringLiteral("LastWebCheck")), QStringLiteral("12/1/2026"));
        QCOMPARE(m_window->FormStorage->ReadValue(QStringLiteral("LastWebCheck")), QStringLiteral("12/1/2026"));
    }

    void unreadableValuesKeepTheDefaults()
    {
        Store(QStringLiteral("edtOptionsPurgeValue_Position"), QStringLiteral("abc"));
        Store(QStringLiteral("cbxOptionsManage_Checked"), QStringLiteral("maybe"));
        Store(QStringLiteral("Priority"), QStringLiteral("5"));
        Store(QStringLiteral("Language"), QStringLiteral("7"));
        restart();
        QCOMPARE(m_window->edtOptionsPurgeValue->position(), 15);
        QVERIFY(m_window->cbxOptionsManage->isChecked());
        QCOMPARE(m_window->cbOptionsPriority->currentIndex(), 1);
        // A language outside 0..1 is English.
        QCOMPARE(KaVar::LanguageIndex(), 0);
        QCOMPARE(m_window->lstOptionsLang->currentRow(), 0);
        QCOMPARE(m_window->cbEditPeriodicity->itemText(0), QStringLiteral("None"));
    }

    // A stored number outside its control's range is brought into it, as the
    // up-down does; a text that is no number keeps the default.
    void storedNumbersAreClamped_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("purge above") << QStringLiteral("edtOptionsPurgeValue") << QStringLiteral("200") << 90;
        QTest::newRow("purge below") << QStringLiteral("edtOptionsPurgeValue") << QStringLiteral("-5") << 0;
        QTest::newRow("purge not a number") << QStringLiteral("edtOptionsPurgeValue") << QStringLiteral("abc") << 15;
        QTest::newRow("check above") << QStringLiteral("edtOptionsCheckValue") << QStringLiteral("999") << 60;
        QTest::newRow("check below") << QStringLiteral("edtOptionsCheckValue") << QStringLiteral("3") << 10;
        QTest::newRow("remember above") << QStringLiteral("edtOptionsRememberValue") << QStringLiteral("1000") << 160;
        QTest::newRow("volume above") << QStringLiteral("edtOptionsWaveVol") << QStringLiteral("12") << 0;
        QTest::newRow("volume below") << QStringLiteral("edtOptionsWaveVol") << QStringLiteral("-9000") << -2500;
    }

    void storedNumbersAreClamped()
    {
        QFETCH(QString, name);
        QFETCH(QString, stored);
        QFETCH(int, expected);
        restartStoring({{name + QStringLiteral("_Position"), stored}});
        auto *upDown = m_window->findChild<TUpDown *>(name);
        const int position = upDown ? upDown->position() : m_window->edtOptionsWaveVol->value();
        QCOMPARE(position, expected);
    }

    // The password box shows "*" for each character.
    void passwordShowsStars()
    {
        QLineEdit *box = m_window->edtOptionsPwd;
        QCOMPARE(box->echoMode(), QLineEdit::Password);
        QCOMPARE(box->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, box), int('*'));
    }

    // The password is stored scrambled, as plain text in the settings file
    // (the scrambling rules themselves are tested with the shared unit), and
    // reads back into the box.
    void passwordIsScrambled_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("three") << QStringLiteral("abc");
        QTest::newRow("one") << QStringLiteral("x");
        QTest::newRow("empty") << QString();
        QTest::newRow("mixed case") << QStringLiteral("ZZtop");
    }

    void passwordIsScrambled()
    {
        QFETCH(QString, password);
        m_window->edtOptionsPwd->setText(password);
        m_window->SaveSettings();
        QCOMPARE(Stored(QStringLiteral("Pwd")), ScramblePassword(password));
        QFile file(m_window->FormStorage->FileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        const QString line = text.section(QStringLiteral("MainForm\\Pwd="), 1).section(QLatin1Char('\n'), 0, 0);
        QCOMPARE(line, ScramblePassword(password));
        restart();
        QCOMPARE(m_window->edtOptionsPwd->text(), password);
    }

    void frenchAtOnceKeepingThePriority()
    {
        m_window->cbOptionsPriority->setCurrentIndex(0);
        m_window->lstOptionsLang->setCurrentRow(1);
        QCOMPARE(KaVar::LanguageIndex(), 1);
        QCOMPARE(m_window->cbEditPeriodicity->itemText(0), QStringLiteral("Aucune"));
        QCOMPARE(m_window->cbEditPeriodicity->itemText(3), QStringLiteral("Tous les jours de travail"));
        QCOMPARE(m_window->rgpEditPriority->items().at(2), QStringLiteral("Haute"));
        QCOMPARE(m_window->cbOptionsPriority->currentIndex(), 0);
        QCOMPARE(m_window->ThreadPriority(), 0);
        QCOMPARE(zel::Formats().longMonthNames.at(7), QStringLiteral("Ao\u00fbt"));
        QCOMPARE(zel::Formats().shortDayNames.at(0), QStringLiteral("d"));
        m_window->SaveSettings();
        QCOMPARE(Stored(QStringLiteral("Language")), QStringLiteral("1"));
        m_window->lstOptionsLang->setCurrentRow(0);
        QCOMPARE(m_window->cbEditPeriodicity->itemText(0), QStringLiteral("None"));
    }

    void autoStart()
    {
        m_window->cbxOptionsAutoStart->click();
        QVERIFY(m_window->cbxOptionsAutoStart->isChecked());
        QVERIFY(AutoStartIsSet());
        restart();
        QVERIFY(m_window->cbxOptionsAutoStart->isChecked());
        m_window->cbxOptionsAutoStart->click();
        QVERIFY(!QFile::exists(AutoStartEntryPath()));
        restart();
        QVERIFY(!m_window->cbxOptionsAutoStart->isChecked());
    }

    // This machine's test environment has no sound output.
    void noSoundOutputMeansBeep()
    {
        QVERIFY(!TPlayer::HasOutputDevice());
        QVERIFY(m_window->rbOptionsBeep->isChecked());
        QVERIFY(!m_window->rbOptionsWave->isChecked());
        QVERIFY(!m_window->rbOptionsWave->isEnabled());
        QVERIFY(!m_window->edtOptionsWave->isEnabled());
        QVERIFY(!m_window->btnOptionsWavePlay->isEnabled());
        // The player fails cleanly, never reaching a media backend.
        QVERIFY(!PlayWaveFile(KaVar::SoundDir() + QStringLiteral("Chime.wav"), 0));
        QCOMPARE(FailureOf([] { KaVar::Player()->Open(QStringLiteral(ALMARIK_SOURCE_DIR "/share/Sound/Chime.wav")); }),
                 QStringLiteral("No audio output device"));
    }

    // Without a sound output the run uses Beep, but the user's choice is what
    // the settings keep; an output that appears gives Wave back.
    void soundChoiceSurvivesAMissingOutput()
    {
        QVERIFY(!TPlayer::HasOutputDevice());
        QVERIFY(m_window->rbOptionsBeep->isChecked());
        m_window->SaveSettings();
        QCOMPARE(Stored(QStringLiteral("rbOptionsWave_Checked")), QStringLiteral("True"));
        QCOMPARE(Stored(QStringLiteral("rbOptionsBeep_Checked")), QStringLiteral("False"));
        restart();
        m_window->SaveSettings();
        QCOMPARE(Stored(QStringLiteral("rbOptionsWave_Checked")), QStringLiteral("True"));

        m_window->SoundOutputsChanged(true);
        QVERIFY(m_window->rbOptionsWave->isEnabled());
        QVERIFY(m_window->rbOptionsWave->isChecked());
        QVERIFY(m_window->edtOptionsWave->isEnabled());

        // A user who chose Beep keeps Beep when the output comes.
        restartStoring({{QStringLiteral("rbOptionsWave_Checked"), QStringLiteral("False")},
                        {QStringLiteral("rbOptionsBeep_Checked"), QStringLiteral("True")}});
        m_window->SoundOutputsChanged(true);
        QVERIFY(m_window->rbOptionsWave->isEnabled());
        QVERIFY(m_window->rbOptionsBeep->isChecked());
        m_window->SaveSettings();
        QCOMPARE(Stored(QStringLiteral("rbOptionsBeep_Checked")), QStringLiteral("True"));
    }

    void soundChoiceEnablesTheFileControls()
    {
        m_window->rbOptionsWave->setEnabled(true);
        m_window->rbOptionsWave->setChecked(true);
        for (QWidget *w : std::initializer_list<QWidget *>{m_window->edtOptionsWave, m_window->btnOptionsWavePlay,
                                                           m_window->edtOptionsWaveVol, m_window->lbOptionsWaveVol})
            QVERIFY(w->isEnabled());
        m_window->rbOptionsBeep->setChecked(true);
        QVERIFY(!m_window->edtOptionsWave->isEnabled());
    }

    void waveFileDialog()
    {
        QTemporaryDir root;
        const KaVar::Folders saved = KaVar::Paths();
        KaVar::Folders folders = saved;
        folders.SoundDir = root.filePath(QStringLiteral("Sound")) + QDir::separator();
        KaVar::SetPaths(folders);
        QList<FileDialogRequest> asked;
        SetFileDialogHook([&](const FileDialogRequest &r) {
            asked << r;
            return QStringLiteral("/chosen/ring.wav");
        });
        // No folder of sounds: the root of the file system.
        QCOMPARE(m_window->edtOptionsWaveBeforeDialog(), QDir::rootPath());
        QDir().mkpath(folders.SoundDir);
        QCOMPARE(m_window->edtOptionsWaveBeforeDialog(), folders.SoundDir);
        m_window->edtOptionsWave->setText(root.filePath(QStringLiteral("ring.wav")));
        QCOMPARE(m_window->edtOptionsWaveBeforeDialog(), root.path());
        m_window->edtOptionsWave->setText(QStringLiteral("/no/such/folder/ring.wav"));
        QCOMPARE(m_window->edtOptionsWaveBeforeDialog(), QDir::rootPath());

        m_window->edtOptionsWave->clear();
        m_window->edtOptionsWaveButtonClick();
        SetFileDialogHook({});
        KaVar::SetPaths(saved);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].title, QStringLiteral("Select file"));
        QCOMPARE(asked[0].defaultExtension, QStringLiteral("wav"));
        QCOMPARE(asked[0].folder, folders.SoundDir);
        QCOMPARE(QtFileFilter(asked[0].filter),
                 QStringLiteral("Wave files (*.wav);;MP3 Files (*.mp3);;Midi Files (*.mid);;Any file (*.*)"));
        QCOMPARE(m_window->edtOptionsWave->text(), QStringLiteral("/chosen/ring.wav"));
    }

    void loginOption()
    {
        QVERIFY(!m_window->dlgLogin->Active());
        QVERIFY(!m_window->edtOptionsUser->isEnabled());
        m_window->cbxOptionsUseLogin->setChecked(true);
        QVERIFY(m_window->dlgLogin->Active());
        QVERIFY(m_window->edtOptionsUser->isEnabled());
        m_window->SaveSettings();
        QCOMPARE(Stored(QStringLiteral("dlgLogin_Active")), QStringLiteral("True"));
    }

    void loginThreeTriesAndCancel()
    {
        m_window->cbxOptionsUseLogin->setChecked(true);
        m_window->edtOptionsUser->setText(QStringLiteral("bob"));
        m_window->edtOptionsPwd->setText(QStringLiteral("Secret"));
        TLoginDialog *dialog = m_window->dlgLogin;
        QList<MessageDialogRequest> messages;
        SetMessageDialogHook([&](const MessageDialogRequest &r) {
            messages << r;
            return int(mrOk);
        });
        // Three wrong tries (the password is case-sensitive) end the dialog.
        QTimer::singleShot(0, dialog, [dialog] {
            dialog->edtUser->setText(QStringLiteral("bob"));
            dialog->edtPassword->setText(QStringLiteral("secret"));
            for (int i = 0; i < 3; ++i)
                dialog->btnOK->click();
        });
        QVERIFY(!m_window->RunLogin());
        QCOMPARE(dialog->Tries(), 3);
        QCOMPARE(messages.size(), 3);
        QCOMPARE(messages[0].text, QStringLiteral("Invalid Login !"));
        QCOMPARE(messages[0].type, int(mtError));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Almarik 2"));

        // Cancel fails at once.
        QTimer::singleShot(0, dialog, [dialog] { dialog->btnCancel->click(); });
        QVERIFY(!m_window->RunLogin());

        // A right login on the second try.
        QTimer::singleShot(0, dialog, [dialog] {
            dialog->edtUser->setText(QStringLiteral("bob"));
            dialog->edtPassword->setText(QStringLiteral("wrong"));
            dialog->btnOK->click();
            dialog->edtPassword->setText(QStringLiteral("Secret"));
            dialog->btnOK->click();
        });
        QVERIFY(m_window->RunLogin());
        SetMessageDialogHook({});
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Almarik 2 (bob)"));
        QCOMPARE(TLoginDialog::LastLoggedUser(QStringLiteral("KA2")), QStringLiteral("bob"));

        // The next time the user name is filled in and the password has the focus.
        // (Seen inside the dialog, checked once it is closed.)
        QString shownUser;
        QWidget *focused = nullptr;
        QTimer::singleShot(0, dialog, [dialog, &shownUser, &focused] {
            shownUser = dialog->edtUser->text();
            focused = dialog->focusWidget();
            dialog->btnCancel->click();
        });
        dialog->Execute();
        QCOMPARE(shownUser, QStringLiteral("bob"));
        QCOMPARE(focused, dialog->edtPassword);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Registration"));
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
