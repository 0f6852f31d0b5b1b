#pragma once

#include <QDialog>
#include <QList>

class QLabel;
class QPushButton;

// The program's own message dialog: an icon by type, the word-wrapped text and
// a row of buttons in bit order, captioned in the current language, all sized
// from the message font. Ctrl+C copies the dialog as text. Given a parent
// window, it opens above it (kept on top with it when that window is).
class TMessageForm : public QDialog
{
    Q_OBJECT

public:
    TMessageForm(const QString &text, int type, int buttons, int helpContext = 0, QWidget *parent = nullptr);

    // The caption of a type and of a button bit in the current language.
    static QString TypeCaption(int type);
    static QString ButtonCaption(int bit);
    static QString ButtonName(int bit);
    static int ButtonResult(int bit);

    QPushButton *defaultButton() const { return m_default; }
    QPushButton *cancelButton() const { return m_cancel; }
    QList<QPushButton *> buttons() const { return m_buttons; }
    // The dialog as plain text, as Ctrl+C copies it.
    QString dialogText() const;
    // Copies dialogText() to the clipboard; raises "Cannot Open Clipboard"
    // when there is no clipboard.
    void copyToClipboard();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void reject() override;

private:
    QLabel *m_message = nullptr;
    QList<QPushButton *> m_buttons;
    QPushButton *m_default = nullptr;
    QPushButton *m_cancel = nullptr;
    int m_helpContext = 0;
};
