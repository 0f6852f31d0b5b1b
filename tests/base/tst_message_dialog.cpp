// The program's message dialog: captions by type and language, buttons in bit
// order with their results, the default and Escape buttons, the close box,
// Ctrl+C copying the dialog as text, the test seam, and the end of the
// session closing a dialog without an answer.
#include "base/MessageForm.h"
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_System.h"
#include "diag/ZelException.h"
#include "support/BaseSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <csignal>

class TestMessageDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { testsupport::InitProgramUnits(); }
    void cleanup() { KaVar::SetLanguageIndex(0); }

    void defaultAndEscapeButtons_data()
    {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<QString>("defaultButton");
        QTest::addColumn<QString>("escapeButton");
        QTest::newRow("Yes No") << int(mbYes | mbNo) << QStringLiteral("Yes") << QStringLiteral("No");
        QTest::newRow("OK") << int(mbOK) << QStringLiteral("OK") << QStringLiteral("OK");
        QTest::newRow("OK Cancel") << int(mbOK | mbCancel) << QStringLiteral("OK") << QStringLiteral("Cancel");
        QTest::newRow("Yes No Cancel") << int(mbYes | mbNo | mbCancel) << QStringLiteral("Yes")
                                       << QStringLiteral("Cancel");
        QTest::newRow("Abort Retry Ignore")
            << int(mbAbort | mbRetry | mbIgnore) << QStringLiteral("Retry") << QString();
    }

    void defaultAndEscapeButtons()
    {
        QFETCH(int, buttons);
        QFETCH(QString, defaultButton);
        QFETCH(QString, escapeButton);
        TMessageForm form(QStringLiteral("Question?"), mtConfirmation, buttons);
        QCOMPARE(form.defaultButton() ? form.defaultButton()->objectName() : QString(), defaultButton);
        QCOMPARE(form.cancelButton() ? form.cancelButton()->objectName() : QString(), escapeButton);
        QVERIFY(form.defaultButton()->isDefault());

        // Escape presses the Cancel-role button (without one it does nothing);
        // Enter presses the default one.
        QTimer::singleShot(0, &form, [&form] {
            QTest::keyClick(&form, Qt::Key_Escape);
            if (form.isVisible()) // Escape did nothing
                form.done(99);
        });
        const int escaped = form.exec();
        QCOMPARE(escaped, escapeButton.isEmpty() ? 99 : form.cancelButton()->property("modalResult").toInt());
        // A form is built afresh for each message.
        TMessageForm again(QStringLiteral("Question?"), mtConfirmation, buttons);
        QTimer::singleShot(0, &again, [&again] { QTest::keyClick(&again, Qt::Key_Return); });
        QCOMPARE(again.exec(), again.defaultButton()->property("modalResult").toInt());
    }

    // Enter and Space press the button that has the focus; the default
    // button answers Enter only while no button has the focus.
    void keysPressTheFocusedButton_data()
    {
        QTest::addColumn<QString>("focused");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("expected");
        QTest::newRow("Return on No") << QStringLiteral("No") << int(Qt::Key_Return) << int(mrNo);
        QTest::newRow("Enter on No") << QStringLiteral("No") << int(Qt::Key_Enter) << int(mrNo);
        QTest::newRow("Space on No") << QStringLiteral("No") << int(Qt::Key_Space) << int(mrNo);
        QTest::newRow("Return on Yes") << QStringLiteral("Yes") << int(Qt::Key_Return) << int(mrYes);
        QTest::newRow("Return on Cancel") << QStringLiteral("Cancel") << int(Qt::Key_Return) << int(mrCancel);
        QTest::newRow("Return, no focus") << QString() << int(Qt::Key_Return) << int(mrYes);
    }

    void keysPressTheFocusedButton()
    {
        QFETCH(QString, focused);
        QFETCH(int, key);
        QFETCH(int, expected);
        TMessageForm form(QStringLiteral("Delete it?"), mtConfirmation, mbYes | mbNo | mbCancel);
        QTimer::singleShot(0, &form, [&form, focused, key] {
            QWidget *target = &form;
            if (focused.isEmpty()) {
                if (QWidget *w = form.focusWidget())
                    w->clearFocus();
            } else {
                target = form.findChild<QPushButton *>(focused);
                target->setFocus();
            }
            QTest::keyClick(target, Qt::Key(key));
        });
        QTimer::singleShot(2000, &form, [&form] { form.done(99); });
        QCOMPARE(form.exec(), expected);
    }

    // A message opens above the window that is active, also one kept on top.
    void opensAboveTheActiveWindow()
    {
        QDialog onTop;
        onTop.setWindowFlags(onTop.windowFlags() | Qt::WindowStaysOnTopHint);
        onTop.show();
        onTop.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &onTop);
        QWidget *parent = nullptr;
        bool stayOnTop = false;
        QTimer::singleShot(0, &onTop, [&] {
            auto *form = qobject_cast<TMessageForm *>(QApplication::activeModalWidget());
            if (form) {
                parent = form->parentWidget();
                stayOnTop = form->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
                form->done(mrOk);
            }
        });
        QCOMPARE(ShowMessageDialog(QStringLiteral("Invalid Login !"), mtError, mbOK), int(mrOk));
        QCOMPARE(parent, &onTop);
        QVERIFY(stayOnTop);
    }

    void buttonsInBitOrder()
    {
        TMessageForm form(QStringLiteral("All of them"), mtWarning, 0x7ff);
        QStringList names;
        QList<int> results;
        int lastX = -1;
        for (QPushButton *b : form.buttons()) {
            names << b->objectName();
            results << b->property("modalResult").toInt();
            QVERIFY(b->x() > lastX);
            lastX = b->x();
        }
        QCOMPARE(names, QStringList({QStringLiteral("Yes"), QStringLiteral("No"), QStringLiteral("OK"),
                                     QStringLiteral("Cancel"), QStringLiteral("Abort"), QStringLiteral("Retry"),
                                     QStringLiteral("Ignore"), QStringLiteral("All"), QStringLiteral("NoToAll"),
                                     QStringLiteral("YesToAll"), QStringLiteral("Help")}));
        QCOMPARE(results, QList<int>({6, 7, 1, 2, 3, 4, 5, 8, 9, 10, 0}));
        QVERIFY(form.findChild<QLabel *>(QStringLiteral("Image")));
        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("Message"))->text(), QStringLiteral("All of them"));
        // The row of buttons lies inside the dialog, below the text.
        const QPushButton *last = form.buttons().last();
        QVERIFY(last->geometry().right() < form.width());
        QVERIFY(last->y() > form.findChild<QLabel *>(QStringLiteral("Message"))->geometry().bottom());
    }

    void captions_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("caption");
        QTest::newRow("warning en") << 0 << int(mtWarning) << QStringLiteral("Warning");
        QTest::newRow("warning fr") << 1 << int(mtWarning) << QStringLiteral("Avertissement");
        QTest::newRow("error fr") << 1 << int(mtError) << QStringLiteral("Erreur");
        QTest::newRow("confirm en") << 0 << int(mtConfirmation) << QStringLiteral("Confirm");
        QTest::newRow("confirm fr") << 1 << int(mtConfirmation) << QStringLiteral("Confirmation");
        QTest::newRow("custom") << 1 << int(mtCustom) << QStringLiteral("Almarik 2");
    }

    void captions()
    {
        QFETCH(int, language);
        QFETCH(int, type);
        QFETCH(QString, caption);
        KaVar::SetLanguageIndex(language);
        TMessageForm form(QStringLiteral("x"), type, mbOK);
        QCOMPARE(form.windowTitle(), caption);
        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("Image")) == nullptr, type == mtCustom);
    }

    void ctrlCCopiesFrenchYesNo()
    {
        KaVar::SetLanguageIndex(1);
        TMessageForm form(QStringLiteral("Voulez-vous fermer ?"), mtConfirmation, mbYes | mbNo);
        QCOMPARE(form.buttons()[0]->text(), QStringLiteral("&Oui"));
        QApplication::clipboard()->clear();
        QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);
        const QString divider = QString(27, QLatin1Char('-'));
        const QString expected = divider + QStringLiteral("\r\nConfirmation\r\n") + divider +
                                 QStringLiteral("\r\nVoulez-vous fermer ?\r\n") + divider +
                                 QStringLiteral("\r\nOui   Non   \r\n") + divider + QStringLiteral("\r\n");
        QCOMPARE(form.dialogText(), expected);
        QCOMPARE(QApplication::clipboard()->text(), expected);
    }

    void closeBoxGivesCancel()
    {
        TMessageForm form(QStringLiteral("x"), mtInformation, mbYes | mbNo);
        QTimer::singleShot(0, &form, [&form] { form.close(); });
        QCOMPARE(form.exec(), int(mrCancel));
    }

    void seamAnswersWithoutAWindow()
    {
        QList<MessageDialogRequest> asked;
        SetMessageDialogHook([&](const MessageDialogRequest &r) {
            asked << r;
            return int(mrNo);
        });
        QCOMPARE(ShowMessageDialog(QStringLiteral("Sure?"), mtConfirmation, mbYes | mbNo), int(mrNo));
        SetMessageDialogHook({});
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].text, QStringLiteral("Sure?"));
        QCOMPARE(asked[0].buttons, int(mbYes | mbNo));
    }

    // The session ends while a question is open: its loop ends and the
    // command that asked stops silently, acting on no answer. Once it has
    // ended, no dialog waits for an answer and no message is shown.
    void sessionEndLeavesNoAnswer()
    {
        QTimer::singleShot(0, qApp, [] { ::raise(SIGTERM); });
        QVERIFY_THROWS_EXCEPTION(EAbort, ShowMessageDialog(QStringLiteral("Launch it?"), mtConfirmation, mbYes | mbNo));
        QVERIFY(ZelSessionEnded());

        bool shown = false;
        QTimer watch;
        watch.setSingleShot(true);
        connect(&watch, &QTimer::timeout, qApp, [&shown] {
            if (QWidget *w = QApplication::activeModalWidget()) {
                shown = true;
                w->close();
            }
        });
        watch.start(0);
        QVERIFY_THROWS_EXCEPTION(EAbort, ShowMessageDialog(QStringLiteral("Again?"), mtConfirmation, mbYes | mbNo));
        ShowErrorText(QStringLiteral("Nobody reads this"));
        watch.stop();
        QVERIFY(!shown);

        // A new hook starts a new session.
        ZelSystemFinalize();
        ZelSystemInitialize();
        QVERIFY(!ZelSessionEnded());
    }
};

QTEST_MAIN(TestMessageDialog)
#include "tst_message_dialog.moc"
