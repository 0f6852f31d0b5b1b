// The program's windows under a real window manager: a message opens above
// the window kept on top that it is about (the login dialog), typed at with
// the keyboard like a user.
#include "base/MessageForm.h"
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_System.h"
#include "support/BaseSupport.h"
#include "support/ProgramFixture.h"
#include "ui/F_KA_Main.h"
#include "ui/LoginDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <QTimer>

namespace {

// The managed windows from the bottom to the top of the stack.
QList<qulonglong> Stacking()
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-root"), QStringLiteral("-notype"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    xprop.waitForFinished(10000);
    const QString line = QString::fromLocal8Bit(xprop.readAllStandardOutput());
    QList<qulonglong> ids;
    const QStringList parts = line.section(QLatin1Char('#'), 1).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &part : parts)
        ids << part.trimmed().toULongLong(nullptr, 16);
    return ids;
}

// Keys typed by the user, while the test's own thread waits in a dialog.
void TypeLater(const QString &script)
{
    QProcess::startDetached(QStringLiteral("sh"), {QStringLiteral("-c"), script});
}

} // namespace

class TestDesktopWindows : public QObject
{
    Q_OBJECT

    testsupport::ProgramFixture m_program;

private Q_SLOTS:
    void initTestCase()
    {
        testsupport::InitProgramUnits();
        ZELApplication()->AppPhase = apRunning;
    }

    void init() { m_program.start(); }
    void cleanup() { m_program.stop(); }

    // A wrong password: "Invalid Login !" comes above the login dialog, which
    // is kept above other windows, and is the window the keys go to.
    void messageAboveTheLoginDialog()
    {
        TfmKaMain *window = m_program.window;
        window->cbxOptionsUseLogin->setChecked(true);
        window->edtOptionsUser->setText(QStringLiteral("bob"));
        window->edtOptionsPwd->setText(QStringLiteral("Secret"));
        TLoginDialog *dialog = window->dlgLogin;

        int loginPlace = -1;
        int messagePlace = -1;
        QString message;
        QTimer watch;
        watch.setInterval(200);
        int typed = 0;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (!typed && dialog->isActiveWindow()) {
                typed = 1;
                TypeLater(QStringLiteral("xdotool type --delay 50 bob; xdotool key Tab; "
                                         "xdotool type --delay 50 wrong; xdotool key Return"));
                return;
            }
            auto *form = qobject_cast<TMessageForm *>(QApplication::activeModalWidget());
            if (typed == 1 && form && form->isActiveWindow()) {
                typed = 2;
                QTest::qWait(500); // the window manager settles its stack
                const QList<qulonglong> stack = Stacking();
                loginPlace = int(stack.indexOf(qulonglong(dialog->winId())));
                messagePlace = int(stack.indexOf(qulonglong(form->winId())));
                message = form->findChild<QWidget *>(QStringLiteral("Message"))->property("text").toString();
                // OK closes the message, then Cancel ends the login.
                TypeLater(QStringLiteral("xdotool key Return; sleep 1; xdotool key Escape"));
            }
        });
        watch.start();
        QTimer::singleShot(20000, dialog, [dialog] {
            if (QWidget *modal = QApplication::activeModalWidget(); modal && modal != dialog)
                modal->close();
            dialog->reject();
        });
        QVERIFY(!window->RunLogin());
        watch.stop();
        QCOMPARE(message, QStringLiteral("Invalid Login !"));
        QVERIFY2(loginPlace >= 0 && messagePlace >= 0, "windows not found in the stack");
        QVERIFY2(messagePlace > loginPlace, "the message is behind the login dialog");
        QCOMPARE(dialog->Tries(), 1);
    }
};

QTEST_MAIN(TestDesktopWindows)
#include "tst_desktop_windows.moc"
