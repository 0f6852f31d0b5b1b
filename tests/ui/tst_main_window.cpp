// The main window's shell: RefreshForm's states, the trash picture, the
// leave-options checks, closing and Shutdown, the log-off query, the tray
// icon's clicks and the tray menu's margin strip.
#include "base/MessageForm.h"
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_Utilities.h"
#include "store/D_KA_Alarms.h"
#include "diag/ZelException.h"
#include "support/ProgramFixture.h"
#include "ui/F_KA_Main.h"
#include "ui/LoginDialog.h"
#include "support/Failure.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QSettings>
#include <QScreen>
#include <QListWidget>
#include <QGroupBox>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QScopeGuard>
#include <QTest>
#include <QToolButton>

using namespace testsupport;

namespace {

// Answers the message dialogs and records them while alive.
struct Answers
{
    explicit Answers(int answer)
    {
        SetMessageDialogHook([this, answer](const MessageDialogRequest &r) {
            asked << r;
            return answer;
        });
    }
    ~Answers() { SetMessageDialogHook({}); }
    QList<MessageDialogRequest> asked;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    ProgramFixture m_program;
    TdmKaAlarms *m_dm = nullptr;
    TfmKaMain *m_window = nullptr;

private Q_SLOTS:
    void initTestCase() { InitProgramUnits(); }

    void init()
    {
        m_program.start();
        m_dm = m_program.dm;
        m_window = m_program.window;
    }

    void cleanup() { m_program.stop(); }

    void startsOnTheCalendarPage()
    {
        QVERIFY(!m_window->isVisible());
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Almarik 2"));
        QCOMPARE(m_window->size(), QSize(760, 496));
        QCOMPARE(m_window->CurrentPageTag(), 0);
        QCOMPARE(m_window->Notebook->currentIndex(), 0);
        QVERIFY(m_window->btnMenuCalendar->isChecked());
        QVERIFY(!m_window->btnMenuList->isChecked());
        QCOMPARE(m_window->SysTray->toolTip(), QStringLiteral("Almarik 2"));
        QCOMPARE(m_window->cbEditPeriodicity->count(), 11);
        QCOMPARE(m_window->rgpEditPriority->items(),
                 QStringList({QStringLiteral("Low"), QStringLiteral("Normal"), QStringLiteral("High")}));
        // Every page button has a picture.
        for (QToolButton *b : {m_window->btnMenuCalendar, m_window->btnMenuList, m_window->btnMenuTrash,
                               m_window->btnMenuOptions, m_window->btnListAdd, m_window->btnTrashErase})
            QVERIFY2(!b->icon().isNull(), qPrintable(b->objectName()));
    }

    void trashPictureAndCommands()
    {
        m_window->RefreshForm();
        QCOMPARE(m_window->btnMenuTrash->icon().cacheKey(), m_window->btnMenuTrashEmpty->icon().cacheKey());
        for (QToolButton *b : {m_window->btnTrashErase, m_window->btnTrashEraseAll, m_window->btnTrashRecover,
                               m_window->btnTrashRecoverAll})
            QVERIFY(!b->isEnabled());
        QCOMPARE(m_window->pnTrashCount->text(), QStringLiteral("0 Alarms  "));

        AddAlarm(*m_dm, zel::EncodeDate(2026, 3, 10), QStringLiteral("gone"), 1);
        m_dm->RefreshSource(m_dm->dsTrash);
        QCOMPARE(m_window->btnMenuTrash->icon().cacheKey(), m_window->btnMenuTrashFull->icon().cacheKey());
        for (QToolButton *b : {m_window->btnTrashErase, m_window->btnTrashEraseAll, m_window->btnTrashRecover,
                               m_window->btnTrashRecoverAll})
            QVERIFY(b->isEnabled());
        QCOMPARE(m_window->pnTrashCount->text(), QStringLiteral("1 Alarms  "));
        // A single row: at its first row, not past its end.
        QVERIFY(!m_window->btnTrashFirst->isEnabled());
        QVERIFY(m_window->btnTrashNext->isEnabled());
    }

    void editingLocksTheWindow()
    {
        AddAlarm(*m_dm, zel::EncodeDate(2026, 3, 10), QStringLiteral("one"));
        m_window->btnMenuClick(m_window->btnMenuList);
        QVERIFY(m_window->btnListEdit->isEnabled());
        QVERIFY(!m_window->btnListPost->isEnabled());
        QVERIFY(!m_window->edtEditTitle->isEnabled());
        QCOMPARE(m_window->edtEditTitle->text(), QStringLiteral("one"));

        m_dm->cdsAlarms.edit();
        m_window->RefreshForm();
        for (QToolButton *b :
             {m_window->btnMenuMain, m_window->btnMenuCalendar, m_window->btnMenuList, m_window->btnMenuTrash,
              m_window->btnMenuOptions, m_window->btnListAdd, m_window->btnListDel, m_window->btnListEdit,
              m_window->btnListCopy, m_window->btnListFirst, m_window->btnListNext})
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
        QVERIFY(!m_window->grdList->isEnabled());
        QVERIFY(!m_window->TrayResponds());
        QVERIFY(m_window->btnListPost->isEnabled());
        QVERIFY(m_window->btnListCancel->isEnabled());
        QVERIFY(m_window->edtEditTitle->isEnabled());
        // The end date follows the periodicity: off for "None".
        QVERIFY(!m_window->edtEditDateEnd->isEnabled());
        m_window->cbEditPeriodicity->setCurrentIndex(2);
        QVERIFY(m_window->edtEditDateEnd->isEnabled());
        QVERIFY(m_window->edtEditDateEndUsed->isEnabled());

        // No page switch and no close while editing.
        QVERIFY_THROWS_EXCEPTION(EAbort, m_window->btnMenuClick(m_window->btnMenuTrash));
        QCOMPARE(m_window->CurrentPageTag(), 1);
        QVERIFY(m_window->btnMenuList->isChecked());
        QVERIFY(!m_window->btnMenuTrash->isChecked());

        m_dm->cdsAlarms.cancel();
        m_window->RefreshForm();
        QVERIFY(m_window->btnMenuTrash->isEnabled());
        QVERIFY(m_window->TrayResponds());
        QVERIFY(!m_window->btnListPost->isEnabled());
    }

    void emptyListLeavesTheEditorEmpty()
    {
        AddAlarm(*m_dm, zel::EncodeDate(2026, 3, 10), QStringLiteral("trashed"), 1);
        m_window->btnMenuClick(m_window->btnMenuList);
        QCOMPARE(m_window->edtEditTitle->text(), QString());
        QCOMPARE(m_window->pnListCount->text(), QStringLiteral("0 Alarms  "));
        QVERIFY(!m_window->btnListDel->isEnabled());
        QVERIFY(m_window->btnListAdd->isEnabled());
    }

    void frenchCountCaption()
    {
        KaVar::SetLanguageIndex(1);
        for (int i = 0; i < 3; ++i)
            AddAlarm(*m_dm, zel::EncodeDate(2026, 3, 10 + i), QStringLiteral("a%1").arg(i));
        m_window->btnMenuClick(m_window->btnMenuList);
        QCOMPARE(m_window->pnListCount->text(), QStringLiteral("3 Alarmes  "));
    }

    void leavingTheOptionsChecksThem_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<bool>("wave");
        QTest::addColumn<QString>("message");
        QTest::newRow("wave") << 0 << true << QStringLiteral("You must enter a valid Wave file !");
        QTest::newRow("wave fr") << 1 << true << QStringLiteral("Vous devez entrer un fichier son existant !");
        QTest::newRow("login") << 0 << false << QStringLiteral("You must enter a complete Login !");
        QTest::newRow("login fr") << 1 << false << QStringLiteral("Vous devez entrer un login complet !");
    }

    void leavingTheOptionsChecksThem()
    {
        QFETCH(int, language);
        QFETCH(bool, wave);
        QFETCH(QString, message);
        KaVar::SetLanguageIndex(language);
        m_window->btnMenuClick(m_window->btnMenuOptions);
        QCOMPARE(m_window->CurrentPageTag(), 4);
        QTemporaryDir folder;
        if (wave) {
            m_window->rbOptionsWave->setEnabled(true);
            m_window->rbOptionsWave->setChecked(true);
            m_window->edtOptionsWave->setText(QStringLiteral("/nowhere/ring.wav"));
        } else {
            m_window->rbOptionsBeep->setChecked(true);
            m_window->cbxOptionsUseLogin->setChecked(true);
        }
        CommandErrors errors;
        m_window->btnMenuList->click();
        QCOMPARE(errors.texts, QStringList(message));
        QCOMPARE(m_window->CurrentPageTag(), 4);
        QCOMPARE(m_window->Notebook->currentIndex(), 4);
        QVERIFY(m_window->btnMenuOptions->isChecked());
        QVERIFY(!m_window->btnMenuList->isChecked());
        if (wave) {
            // A folder is no sound file either.
            m_window->edtOptionsWave->setText(folder.path());
            m_window->btnMenuList->click();
            QCOMPARE(errors.texts, QStringList({message, message}));
            QCOMPARE(m_window->CurrentPageTag(), 4);
            errors.texts.removeLast();
        }

        // Put right, the options can be left.
        m_window->rbOptionsBeep->setChecked(true);
        m_window->edtOptionsUser->setText(QStringLiteral("me"));
        m_window->btnMenuList->click();
        QCOMPARE(errors.texts.size(), 1);
        QCOMPARE(m_window->CurrentPageTag(), 1);
    }

    void closeButtonHides()
    {
        m_window->show();
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_window->close());
        QVERIFY(!m_window->isVisible());
        QVERIFY(!m_window->Closing);
    }

    void shutdownAsksFirst()
    {
        {
            Answers no(mrNo);
            m_window->miExitClick();
            QCOMPARE(no.asked.size(), 1);
            QCOMPARE(no.asked[0].text, QStringLiteral("Do you want to close Almarik 2"));
            QCOMPARE(no.asked[0].type, int(mtConfirmation));
            QCOMPARE(no.asked[0].buttons, int(mbYes | mbNo));
        }
        QVERIFY(!m_window->Closing);
        QVERIFY(!m_window->Busy);

        // Refused while an alarm is edited.
        m_dm->cdsAlarms.append();
        m_window->RefreshForm();
        // The list page is not in front: the editing check answers, not a silent stop.
        QCOMPARE(FailureOf([this] { m_window->miExitClick(); }),
                 QStringLiteral("You must finish current alarm edition !"));
        m_dm->cdsAlarms.cancel();

        // Refused while the alarm box is shown.
        QWidget box;
        box.show();
        m_window->SetAlarmBox(&box);
        {
            Answers yes(mrYes);
            QVERIFY_THROWS_EXCEPTION(Exception, m_window->miExitClick());
        }
        m_window->SetAlarmBox(nullptr);

        Answers yes(mrYes);
        m_window->miExitClick();
        QVERIFY(m_window->Closing);
        QVERIFY(m_window->Busy);
        QVERIFY(!m_window->SysTray->isVisible());
    }

    void logOffQuery_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("message");
        QTest::newRow("English") << 0 << QStringLiteral("Close alarm box !");
        QTest::newRow("French") << 1 << QStringLiteral("Fermer la boite d'alarme !");
    }

    void logOffQuery()
    {
        QFETCH(int, language);
        QFETCH(QString, message);
        KaVar::SetLanguageIndex(language);
        QWidget box;
        box.show();
        m_window->SetAlarmBox(&box);
        m_window->show();
        Answers ok(mrOk);
        QVERIFY(!m_window->WMQueryEndSession());
        QCOMPARE(ok.asked.size(), 1);
        QCOMPARE(ok.asked[0].text, message);
        QCOMPARE(ok.asked[0].type, int(mtError));
        QCOMPARE(ok.asked[0].buttons, int(mbOK));
        box.hide();
        QVERIFY(m_window->WMQueryEndSession());
        QVERIFY(!m_window->isVisible());
        QCOMPARE(ok.asked.size(), 1);
        m_window->SetAlarmBox(nullptr);
    }

    // The session is asked before anything is shown; what must be seen (the
    // alarm box) comes to the front, a hidden main window stays hidden.
    void logOffQueryAsksTheSessionFirst()
    {
        QWidget box;
        box.show();
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &other);
        m_window->SetAlarmBox(&box);
        QVERIFY(!m_window->isVisible());
        QStringList steps;
        SetMessageDialogHook([&](const MessageDialogRequest &) {
            steps << QStringLiteral("shown");
            return int(mrOk);
        });
        QVERIFY(!m_window->WMQueryEndSession([&] {
            steps << QStringLiteral("asked");
            return false;
        }));
        QCOMPARE(steps, QStringList(QStringLiteral("asked")));
        QVERIFY(!m_window->WMQueryEndSession([&] {
            steps << QStringLiteral("asked");
            return true;
        }));
        QCOMPARE(steps, QStringList({QStringLiteral("asked"), QStringLiteral("asked"), QStringLiteral("shown")}));
        QTRY_COMPARE(QApplication::activeWindow(), &box);
        QVERIFY(!m_window->isVisible());
        SetMessageDialogHook({});
        m_window->SetAlarmBox(nullptr);
    }

    void trayClicksToggleOnce()
    {
        // A short double-click time keeps the waits below short.
        const int interval = QApplication::doubleClickInterval();
        QApplication::setDoubleClickInterval(60);
        const auto restore = qScopeGuard([interval] { QApplication::setDoubleClickInterval(interval); });
        QVERIFY(!m_window->isVisible());
        Q_EMIT m_window->SysTray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(!m_window->isVisible()); // waits for a possible double click
        QTRY_VERIFY(m_window->isVisible());
        // A double click: the click, then the double click, one toggle.
        Q_EMIT m_window->SysTray->activated(QSystemTrayIcon::Trigger);
        Q_EMIT m_window->SysTray->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(!m_window->isVisible());
        QTest::qWait(QApplication::doubleClickInterval() * 2);
        QVERIFY(!m_window->isVisible());
        // The shown window shows the inactive picture; hidden, the state's.
        QCOMPARE(m_window->SysTray->icon().cacheKey(), m_window->imlTray[TfmKaMain::TrayActiveImage].cacheKey());

        // While an alarm is edited the icon does not answer.
        m_dm->cdsAlarms.append();
        m_window->RefreshForm();
        Q_EMIT m_window->SysTray->activated(QSystemTrayIcon::DoubleClick);
        Q_EMIT m_window->SysTray->activated(QSystemTrayIcon::Trigger);
        QTest::qWait(QApplication::doubleClickInterval() * 2);
        QVERIFY(!m_window->isVisible());
        m_dm->cdsAlarms.cancel();

        // Nor while a long command runs, even after a refresh during it; it
        // answers again once the command ends, without waiting for another
        // refresh (a hidden window may not get one).
        m_window->RefreshForm();
        QVERIFY(m_window->TrayResponds());
        m_window->Busy = true;
        m_window->RefreshForm();
        QVERIFY(!m_window->TrayResponds());
        Q_EMIT m_window->SysTray->activated(QSystemTrayIcon::DoubleClick);
        QTest::qWait(QApplication::doubleClickInterval() * 2);
        QVERIFY(!m_window->isVisible());
        m_window->Busy = false;
        QVERIFY(m_window->TrayResponds());
        Q_EMIT m_window->SysTray->activated(QSystemTrayIcon::DoubleClick);
        QTRY_VERIFY(m_window->isVisible());
    }

    void stateSwitch()
    {
        m_window->miActiveOrInactiveClick(m_window->miInactive);
        QVERIFY(!m_window->cbxOptionsEnabled->isChecked());
        QVERIFY(m_window->miInactive->isChecked() && !m_window->miActive->isChecked());
        QCOMPARE(m_window->SysTray->icon().cacheKey(), m_window->imlTray[TfmKaMain::TrayInactiveImage].cacheKey());
        m_window->miActiveOrInactiveClick(m_window->miActive);
        QVERIFY(m_window->cbxOptionsEnabled->isChecked());
        QCOMPARE(m_window->SysTray->icon().cacheKey(), m_window->imlTray[TfmKaMain::TrayActiveImage].cacheKey());
        // The State submenu answers only while the window is hidden.
        m_window->ppmTrayPopup(true);
        QVERIFY(m_window->miState->isEnabled());
        m_window->show();
        m_window->ppmTrayPopup(true);
        QVERIFY(!m_window->miState->isEnabled());
    }

    // Every window of the program carries its icon: the login dialog and the
    // message boxes as well as the main window.
    void everyWindowHasTheIcon()
    {
        QVERIFY(!QApplication::windowIcon().isNull());
        QCOMPARE(QApplication::windowIcon().cacheKey(), m_window->windowIcon().cacheKey());
        QCOMPARE(m_window->dlgLogin->windowIcon().cacheKey(), m_window->windowIcon().cacheKey());
        TMessageForm form(QStringLiteral("x"), mtInformation, mbOK);
        QCOMPARE(form.windowIcon().cacheKey(), m_window->windowIcon().cacheKey());
    }

    // A stored position off the screen brings the window back inside the
    // available area of a screen.
    void positionStaysOnTheScreen_data()
    {
        QTest::addColumn<QPoint>("stored");
        QTest::newRow("far right") << QPoint(5000, 100);
        QTest::newRow("far left and up") << QPoint(-3000, -2000);
        QTest::newRow("half out at the bottom") << QPoint(10, 700);
        QTest::newRow("inside") << QPoint(20, 30);
    }

    void positionStaysOnTheScreen()
    {
        QFETCH(QPoint, stored);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect frame(stored, m_window->frameSize());
        const QPoint placed = PlaceOnScreen(frame);
        QVERIFY2(
            area.contains(QRect(placed, frame.size())),
            qPrintable(
                QStringLiteral("%1,%2 in %3x%4").arg(placed.x()).arg(placed.y()).arg(area.width()).arg(area.height())));
        if (area.contains(frame))
            QCOMPARE(placed, stored);

        // Through the stored settings, as at the next start.
        QSettings settings(QStringLiteral("Morvane"), QStringLiteral("Almarik"));
        settings.setValue(QStringLiteral("KA2/MainForm/Left"), QString::number(stored.x()));
        settings.setValue(QStringLiteral("KA2/MainForm/Top"), QString::number(stored.y()));
        settings.sync();
        m_program.restartWindow();
        m_window = m_program.window;
        QVERIFY(area.contains(QRect(m_window->pos(), m_window->frameSize())));
    }

    // The options page fits the fonts of this machine: every control lies
    // inside its group box and every group box inside the page, clear of
    // its edges.
    void optionsPageFits_data()
    {
        QTest::addColumn<QString>("family");
        QTest::newRow("the window's font") << QString();
        // The desktop's own font at the same size, usually wider than Tahoma.
        QTest::newRow("the desktop's font") << QApplication::font().family();
        QTest::newRow("the closest to Tahoma") << ClosestToTahoma();
    }

    void optionsPageFits()
    {
        QFETCH(QString, family);
        if (!family.isEmpty()) {
            QFont font(family);
            font.setPointSize(8);
            m_window->setFont(font);
        }
        m_window->show();
        m_window->btnMenuOptions->click();
        QWidget *page = m_window->findChild<QWidget *>(QStringLiteral("pgOptions"));
        QVERIFY(page);
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        const QRect inside = page->rect().adjusted(2, 2, -2, -2);
        const auto place = [](QWidget *w, QWidget *in) { return QRect(w->mapTo(in, QPoint(0, 0)), w->size()); };
        const QList<QGroupBox *> groups = page->findChildren<QGroupBox *>();
        QVERIFY(groups.size() >= 10);
        for (QGroupBox *group : groups) {
            const QRect g = place(group, page);
            QVERIFY2(inside.contains(g), qPrintable(group->objectName()));
            // Below the title, within the frame.
            const QRect client = group->rect().adjusted(1, group->fontMetrics().height() / 2, -1, -1);
            for (QWidget *control : group->findChildren<QWidget *>()) {
                if (!control->isVisibleTo(group) || control->parentWidget() != group)
                    continue;
                QVERIFY2(client.contains(place(control, group)),
                         qPrintable(group->objectName() + QLatin1Char('/') + control->objectName()));
                QVERIFY2(control->height() >= control->minimumSizeHint().height(),
                         qPrintable(group->objectName() + QLatin1Char('/') + control->objectName()));
            }
        }
        QVERIFY(inside.contains(place(m_window->lbOptionsFootnote, page)));
        // The language list shows both languages inside its frame.
        QListWidget *list = m_window->lstOptionsLang;
        const QRect second = list->visualItemRect(list->item(1));
        QVERIFY2(list->viewport()->rect().contains(second), "the list cuts its second entry");
        m_window->hide();
    }

    void marginStripOnlyFromTheTray()
    {
        TTrayMenu *menu = m_window->ppmTray;
        m_window->ppmTrayPopup(true);
        QCOMPARE(menu->marginWidth(), 24);
        menu->adjustSize();
        QImage strip = menu->grab().toImage();
        // Olive at the top, darker olive at the bottom, no blue.
        const QColor top = strip.pixelColor(4, 1);
        const QColor bottom = strip.pixelColor(4, strip.height() - 2);
        QVERIFY2(top.red() > 110 && top.green() > 110 && top.blue() < 30, qPrintable(top.name()));
        QVERIFY2(bottom.red() < 60 && bottom.green() < 60 && bottom.blue() < 20, qPrintable(bottom.name()));
        QCOMPARE(top.red(), top.green());
        // The name is written in yellow somewhere in the strip.
        bool yellow = false;
        for (int y = 0; y < strip.height() && !yellow; ++y) {
            for (int x = 0; x < 21 && !yellow; ++x) {
                const QColor c = strip.pixelColor(x, y);
                yellow = c.red() > 200 && c.green() > 200 && c.blue() < 80;
            }
        }
        QVERIFY(yellow);

        m_window->ppmTrayPopup(false);
        QCOMPARE(menu->marginWidth(), 0);
        menu->adjustSize();
        strip = menu->grab().toImage();
        const QColor plain = strip.pixelColor(4, strip.height() / 2);
        QVERIFY2(!(plain.red() < 140 && plain.blue() < 30), qPrintable(plain.name()));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
