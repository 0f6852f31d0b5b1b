// The alarm box on its own (offscreen): what it offers for each kind of
// alarm, its height and place, the captions it borrows and gives back, the
// sound rule, the application-silent path, the minutes field, the countdown,
// the tray animation and a modal loop that ends without an answer.
#include "base/U_KA_Var.h"
#include "engine/F_KA_Show.h"
#include "store/D_KA_Alarms.h"
#include "support/ProgramFixture.h"
#include "support/TestSupport.h"
#include "ui/F_KA_Main.h"
#include "ui/Widgets.h"

#include <QAction>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace store;
using namespace testsupport;

namespace {

struct Alarm
{
    QString title = QStringLiteral("Dentist");
    int period = 0;
    QString application;
    QString comments = QStringLiteral("Bring the card");
    int priority = 1;
    int sound = 1;
    int appSilent = 0;
};

// Puts the alarm in the check view's current row.
void Select(TdmKaAlarms &dm, const Alarm &a)
{
    dm.cdsAlarms.emptyDataSet();
    dm.cdsAlarms.appendRecord({1, zel::EncodeDateTime(2026, 3, 12, 9, 30), QVariant(), 0, a.title, 1, a.priority,
                               a.comments, a.sound, a.period, a.application, a.appSilent, 0});
    dm.cdsThread.setFilter(QStringLiteral("Deleted = 0"));
    dm.cdsThread.refresh();
    dm.cdsThread.first();
}

} // namespace

class TestAlarmBox : public QObject
{
    Q_OBJECT

    ProgramFixture program;
    TfmKaShow *box = nullptr;
    QStringList played;
    int beeps = 0;
    bool playResult = true;

    // Shows the alarm; while the box is open, `during` runs (it answers).
    int Display(const Alarm &a, const std::function<void()> &during, int &minutes)
    {
        Select(*program.dm, a);
        QTimer::singleShot(0, this, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(box->isVisible(), 5000);
            during();
            // A failed check inside leaves the box open: close it.
            if (QTest::currentTestFailed() && box->isVisible())
                box->close();
        });
        return box->DisplayAlarm(minutes);
    }

private Q_SLOTS:
    void initTestCase()
    {
        InitProgramUnits();
        program.start();
        box = new TfmKaShow;
        program.window->SetAlarmBox(box);
        box->PlayWave = [this](const QString &path, int volume) {
            played << path + QStringLiteral("@") + QString::number(volume);
            return playResult;
        };
        box->Beep = [this] { ++beeps; };
    }

    void cleanupTestCase()
    {
        delete box;
        program.stop();
    }

    void init()
    {
        played.clear();
        beeps = 0;
        playResult = true;
        program.window->cbxOptionsNoRememberOnPeriodic->setChecked(false);
        program.window->edtOptionsAutoRememberValue->setPosition(5);
        program.window->edtOptionsRememberValue->setPosition(10);
        program.window->rgpOptionsBoxPos->setItemIndex(4);
        program.window->edtOptionsMaginValue->setPosition(50);
        program.window->cbxOptionsStayOnTop->setChecked(true);
        program.window->rbOptionsBeep->setChecked(true);
    }

    // One box reused for alarm after alarm: each shows only its own offers.
    void offers_data()
    {
        QTest::addColumn<int>("period");
        QTest::addColumn<QString>("application");
        QTest::addColumn<bool>("noRememberOption");
        QTest::addColumn<bool>("remember");
        QTest::addColumn<bool>("close");
        QTest::addColumn<bool>("noLaunch");
        QTest::addColumn<int>("okImage");
        QTest::addColumn<bool>("countdown");
        const QString app = QStringLiteral("/usr/bin/true");
        QTest::newRow("one-time with application") << 0 << app << false << true << false << true << 0 << true;
        QTest::newRow("daily") << 2 << QString() << false << true << true << false << 2 << true;
        QTest::newRow("weekly with application") << 4 << app << false << true << true << true << 2 << true;
        QTest::newRow("on start (once)") << 7 << QString() << false << false << false << false << 0 << false;
        QTest::newRow("on exit (once)") << 8 << app << false << false << false << true << 0 << false;
        QTest::newRow("on every start") << 9 << QString() << false << false << true << false << 2 << false;
        QTest::newRow("on every exit") << 10 << QString() << false << false << true << false << 2 << false;
        QTest::newRow("one-time, no auto-remind") << 0 << QString() << true << true << false << false << 0 << false;
        QTest::newRow("monthly, no auto-remind") << 5 << app << true << true << true << true << 2 << false;
        QTest::newRow("imported code") << 14 << QString() << false << true << true << false << 2 << true;
    }

    void offers()
    {
        QFETCH(int, period);
        QFETCH(QString, application);
        QFETCH(bool, noRememberOption);
        QFETCH(bool, remember);
        QFETCH(bool, close);
        QFETCH(bool, noLaunch);
        QFETCH(int, okImage);
        QFETCH(bool, countdown);
        program.window->cbxOptionsNoRememberOnPeriodic->setChecked(noRememberOption);
        Alarm a;
        a.period = period;
        a.application = application;
        int minutes = -1;
        bool seen = false;
        const int result = Display(
            a,
            [&] {
                QCOMPARE(box->btnRemember->isVisible(), remember);
                QCOMPARE(box->miClose->isVisible(), close);
                QVERIFY(box->miDelete->isVisible());
                QCOMPARE(box->miNoLaunch->isVisible(), noLaunch);
                QCOMPARE(box->pnLaunch->isVisible(), !application.isEmpty());
                QCOMPARE(box->OkImage(), okImage);
                QCOMPARE(box->btnOk->text(), okImage == 0 ? QStringLiteral("Delete") : QStringLiteral("Close"));
                QCOMPARE(box->lbTimer->isVisible(), countdown);
                QCOMPARE(box->lbTimer->text(), countdown ? QStringLiteral("Auto-remind in 5 min") : QString());
                QCOMPARE(box->Timer.isActive(), countdown);
                const QString name =
                    period <= 10 ? QString::fromUtf8(PeriodicityNames[0][period]) : QString::number(period);
                QCOMPARE(box->pnPeriodicity->text(), QStringLiteral("Periodicity : ") + name);
                if (!application.isEmpty())
                    QCOMPARE(box->pnLaunch->text(), QStringLiteral("Launch : ") + application);
                QCOMPARE(box->pnTitle->text(), QStringLiteral("Dentist"));
                QCOMPARE(box->lbDateTime->text(), zel::DateTimeToStr(zel::EncodeDateTime(2026, 3, 12, 9, 30)));
                QCOMPARE(box->edtRememberShow->text(), QStringLiteral("10"));
                QCOMPARE(box->focusWidget(), box->edtRememberShow);
                seen = true;
                box->btnOk->click();
            },
            minutes);
        QVERIFY(seen);
        QCOMPARE(result, okImage == 0 ? int(abrDelete) : int(abrClose));
        QCOMPARE(minutes, 10);
        // The base captions are back for the next alarm.
        QCOMPARE(box->pnPeriodicity->text(), QStringLiteral("Periodicity :"));
        QCOMPARE(box->pnLaunch->text(), QStringLiteral("Launch :"));
        QVERIFY(!box->Timer.isActive());
    }

    // The drop-down's items only re-arm btnOk; btnOk answers by its picture.
    void dropDownChoices_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("result");
        QTest::newRow("close") << QStringLiteral("miClose") << int(abrClose);
        QTest::newRow("delete") << QStringLiteral("miDelete") << int(abrDelete);
        QTest::newRow("no launch") << QStringLiteral("miNoLaunch") << int(abrNoLaunch);
    }

    void dropDownChoices()
    {
        QFETCH(QString, item);
        QFETCH(int, result);
        Alarm a;
        a.period = 2;
        a.application = QStringLiteral("/usr/bin/true");
        int minutes = 0;
        const int answer = Display(
            a,
            [&] {
                box->findChild<QAction *>(item)->trigger();
                QVERIFY(box->isVisible());
                QCOMPARE(box->btnOk->text(), box->findChild<QAction *>(item)->text());
                box->btnOk->click();
            },
            minutes);
        QCOMPARE(answer, result);
    }

    // Height without application / comments, and the place on the work area.
    void heightAndPlace_data()
    {
        QTest::addColumn<bool>("application");
        QTest::addColumn<bool>("comments");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("height");
        QTest::newRow("both, bottom right") << true << true << 4 << 255;
        QTest::newRow("no application, bottom left") << false << true << 3 << 237;
        QTest::newRow("no comments, top right") << true << false << 2 << 141;
        QTest::newRow("neither, bottom right") << false << false << 4 << 123;
        QTest::newRow("both, top left") << true << true << 1 << 255;
        QTest::newRow("neither, centre") << false << false << 0 << 123;
    }

    void heightAndPlace()
    {
        QFETCH(bool, application);
        QFETCH(bool, comments);
        QFETCH(int, position);
        QFETCH(int, height);
        program.window->rgpOptionsBoxPos->setItemIndex(position);
        program.window->edtOptionsMaginValue->setPosition(30);
        Alarm a;
        a.application = application ? QStringLiteral("/usr/bin/true") : QString();
        a.comments = comments ? QStringLiteral("words") : QString();
        QRect shown;
        QRect frame;
        int minutes = 0;
        Display(
            a,
            [&] {
                shown = box->geometry();
                frame = box->frameGeometry();
                box->btnRemember->click();
            },
            minutes);
        QCOMPARE(shown.size(), QSize(288, height));
        // The whole window, frame included, keeps the margin to the work
        // area's edges.
        const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        switch (position) {
        case 0:
            QCOMPARE(frame.center(), screen.center());
            break;
        case 1:
            QCOMPARE(frame.topLeft(), work.topLeft() + QPoint(30, 30));
            break;
        case 2:
            QCOMPARE(frame.topRight(), work.topRight() + QPoint(-30, 30));
            break;
        case 3:
            QCOMPARE(frame.bottomLeft(), work.bottomLeft() + QPoint(30, -30));
            break;
        default:
            QCOMPARE(frame.bottomRight(), work.bottomRight() + QPoint(-30, -30));
            break;
        }
        // The designed height is back after the display.
        QCOMPARE(box->height(), 255);
    }

    // The captions read "Almarik 2 - Alarm" while the box is open and come
    // back afterwards, also when the display fails.
    void captionsSwapAndRestore_data()
    {
        QTest::addColumn<bool>("failure");
        QTest::newRow("answered") << false;
        QTest::newRow("sound failure") << true;
    }

    void captionsSwapAndRestore()
    {
        QFETCH(bool, failure);
        const QString appTitle = QGuiApplication::applicationDisplayName();
        const QString caption = box->windowTitle();
        program.window->rbOptionsWave->setChecked(true);
        if (failure)
            box->PlayWave = [](const QString &, int) -> bool { throw Exception(QStringLiteral("device gone")); };
        ErrorTexts errors;
        Alarm a;
        int minutes = 0;
        const int result = Display(
            a,
            [&] {
                QCOMPARE(box->windowTitle(), QStringLiteral("Almarik 2 - Alarm"));
                QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("Almarik 2 - Alarm"));
                box->btnOk->click();
            },
            minutes);
        box->PlayWave = [this](const QString &path, int volume) {
            played << path + QStringLiteral("@") + QString::number(volume);
            return playResult;
        };
        QCOMPARE(QGuiApplication::applicationDisplayName(), appTitle);
        QCOMPARE(box->windowTitle(), caption);
        QCOMPARE(result, int(abrDelete));
        QCOMPARE(errors.texts,
                 failure ? QStringList{QStringLiteral("Error on displaying alarm : \r\ndevice gone")} : QStringList());
    }

    // The sound of an alarm: the file at its volume, one beep when it cannot
    // play, the beep option, silence for Sound 0.
    void sound_data()
    {
        QTest::addColumn<int>("soundFlag");
        QTest::addColumn<bool>("wave");
        QTest::addColumn<bool>("plays");
        QTest::addColumn<int>("waves");
        QTest::addColumn<int>("beepCount");
        QTest::newRow("wave") << 1 << true << true << 1 << 0;
        QTest::newRow("wave fails") << 1 << true << false << 1 << 1;
        QTest::newRow("beep") << 1 << false << true << 0 << 1;
        QTest::newRow("silent, wave") << 0 << true << true << 0 << 0;
        QTest::newRow("silent, beep") << 0 << false << true << 0 << 0;
    }

    void sound()
    {
        QFETCH(int, soundFlag);
        QFETCH(bool, wave);
        QFETCH(bool, plays);
        QFETCH(int, waves);
        QFETCH(int, beepCount);
        (wave ? program.window->rbOptionsWave : program.window->rbOptionsBeep)->setChecked(true);
        program.window->edtOptionsWave->setText(QStringLiteral("/sounds/ring.wav"));
        program.window->edtOptionsWaveVol->setValue(-700);
        playResult = plays;
        Alarm a;
        a.sound = soundFlag;
        int minutes = 0;
        Display(
            a, [&] { box->btnOk->click(); }, minutes);
        QCOMPARE(played.size(), waves);
        if (waves)
            QCOMPARE(played[0], QStringLiteral("/sounds/ring.wav@-700"));
        QCOMPARE(beeps, beepCount);
    }

    // An application-silent alarm with an application plays its sound and is
    // answered Close without a box; without application it is shown.
    void applicationSilent()
    {
        program.window->rbOptionsWave->setChecked(true);
        Alarm a;
        a.appSilent = 1;
        a.application = QStringLiteral("/usr/bin/true");
        Select(*program.dm, a);
        int minutes = 77;
        QCOMPARE(box->DisplayAlarm(minutes), int(abrClose));
        QCOMPARE(minutes, 77);
        QCOMPARE(played.size(), 1);
        QVERIFY(!program.window->TrayAnimating());

        a.application.clear();
        bool shown = false;
        Display(
            a,
            [&] {
                shown = true;
                box->btnOk->click();
            },
            minutes);
        QVERIFY(shown);
    }

    // Enter in the minutes field answers Remember where Remember is offered;
    // the minutes are read from the field, a text that is no number leaves
    // the last valid value, and 0 minutes is a valid answer.
    void minutesField()
    {
        Alarm a;
        int minutes = -1;
        int result = Display(
            a,
            [&] {
                box->edtRememberShow->selectAll();
                QTest::keyClicks(box->edtRememberShow, QStringLiteral("0"));
                QTest::keyClick(box->edtRememberShow, Qt::Key_Return);
            },
            minutes);
        QCOMPARE(result, int(abrRemember));
        QCOMPARE(minutes, 0);

        result = Display(
            a,
            [&] {
                box->edtRememberShow->selectAll();
                QTest::keyClicks(box->edtRememberShow, QStringLiteral("25"));
                QTest::keyClicks(box->edtRememberShow, QStringLiteral("x"));
                QTest::keyClick(box->edtRememberShow, Qt::Key_Enter);
            },
            minutes);
        QCOMPARE(result, int(abrRemember));
        QCOMPARE(minutes, 25);

        // The arrows keep the minutes within 0..360.
        result = Display(
            a,
            [&] {
                box->edtRememberShow->selectAll();
                QTest::keyClicks(box->edtRememberShow, QStringLiteral("360"));
                box->edtRememberValue->setPosition(box->edtRememberValue->position() + 1);
                QCOMPARE(box->edtRememberShow->text(), QStringLiteral("360"));
                box->btnRemember->click();
            },
            minutes);
        QCOMPARE(minutes, 360);

        // A start alarm: Enter does nothing, the box stays open.
        a.period = 9;
        result = Display(
            a,
            [&] {
                QTest::keyClick(box->edtRememberShow, Qt::Key_Return);
                QVERIFY(box->isVisible());
                box->btnOk->click();
            },
            minutes);
        QCOMPARE(result, int(abrClose));
    }

    // The countdown, with a minute of a few milliseconds: N, N-1, ..., 1,
    // then Remember.
    void countdown_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("1") << 1 << 0 << QStringList{QStringLiteral("Auto-remind in 1 min")};
        QTest::newRow("3, French") << 3 << 1
                                   << QStringList{QStringLiteral("Rappel auto dans 3 min"),
                                                  QStringLiteral("Rappel auto dans 2 min"),
                                                  QStringLiteral("Rappel auto dans 1 min")};
    }

    void countdown()
    {
        QFETCH(int, n);
        QFETCH(int, language);
        QFETCH(QStringList, texts);
        KaVar::SetLanguageIndex(language);
        program.window->edtOptionsAutoRememberValue->setPosition(n);
        TfmKaShow::SetMinuteInterval(40);
        QStringList seen;
        const QMetaObject::Connection c =
            connect(&box->Timer, &QTimer::timeout, this, [&] { seen << box->lbTimer->text(); });
        Alarm a;
        int minutes = 0;
        const int result = Display(
            a, [&] { seen << box->lbTimer->text(); }, minutes);
        disconnect(c);
        TfmKaShow::SetMinuteInterval(60000);
        KaVar::SetLanguageIndex(0);
        // The last tick closes the box; the label kept its last count.
        QCOMPARE(result, int(abrRemember));
        QCOMPARE(minutes, 10);
        QCOMPARE(seen.mid(0, n), texts);
    }

    // The tray icon blinks at 300 div (priority + 1) ms while the box is open.
    void trayAnimation_data()
    {
        QTest::addColumn<int>("priority");
        QTest::addColumn<int>("interval");
        QTest::newRow("low") << 0 << 300;
        QTest::newRow("normal") << 1 << 150;
        QTest::newRow("high") << 2 << 100;
    }

    void trayAnimation()
    {
        QFETCH(int, priority);
        QFETCH(int, interval);
        Alarm a;
        a.priority = priority;
        int minutes = 0;
        Display(
            a,
            [&] {
                QVERIFY(program.window->TrayAnimating());
                QCOMPARE(program.window->TrayAnimationInterval(), interval);
                QCOMPARE(box->imgPriority1->pixmap().toImage(), box->imlShow[5 + priority].pixmap(16, 16).toImage());
                box->btnOk->click();
            },
            minutes);
        QVERIFY(!program.window->TrayAnimating());
    }

    // Stay on top follows the option at each display.
    void stayOnTop()
    {
        for (bool onTop : {false, true}) {
            program.window->cbxOptionsStayOnTop->setChecked(onTop);
            Alarm a;
            int minutes = 0;
            Display(
                a,
                [&] {
                    QCOMPARE(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint), onTop);
                    box->btnOk->click();
                },
                minutes);
        }
    }

    // Closed by the window manager: Delete. Its modal loop ended without an
    // answer (the program ends): a silent abort, nothing answered.
    void closedOtherwise()
    {
        Alarm a;
        int minutes = 5;
        QCOMPARE(Display(
                     a, [&] { box->close(); }, minutes),
                 int(abrDelete));
        minutes = 5;
        bool aborted = false;
        try {
            Display(
                a, [&] { box->hide(); }, minutes);
        } catch (const EAbort &) {
            aborted = true;
        }
        QVERIFY(aborted);
        QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("Almarik 2"));
    }

    // Without a main window the display is abandoned silently.
    void noMainWindow()
    {
        TfmKaMain *saved = fmKaMain;
        fmKaMain = nullptr;
        int minutes = 0;
        bool aborted = false;
        try {
            box->DisplayAlarm(minutes);
        } catch (const EAbort &) {
            aborted = true;
        }
        fmKaMain = saved;
        QVERIFY(aborted);
        QVERIFY(!box->isVisible());
    }
};

QTEST_MAIN(TestAlarmBox)
#include "tst_alarm_box.moc"
