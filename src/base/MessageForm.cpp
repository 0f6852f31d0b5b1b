#include "base/MessageForm.h"

#include "base/U_KA_Var.h"
#include "diag/ZelException.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

using KaVar::Tr;

namespace {

constexpr int ButtonCount = 11;

struct ButtonInfo
{
    const char *name;
    const char *english;
    const char *french;
    int result;
};

const ButtonInfo Buttons[ButtonCount] = {
    {"Yes", "&Yes", "&Oui", mrYes},
    {"No", "&No", "&Non", mrNo},
    {"OK", "OK", "OK", mrOk},
    {"Cancel", "Cancel", "Annuler", mrCancel},
    {"Abort", "&Abort", "&Abandonner", mrAbort},
    {"Retry", "Retry", "Retenter", mrRetry},
    {"Ignore", "&Ignore", "&Ignorer", mrIgnore},
    {"All", "All", "Tous", mrAll},
    {"NoToAll", "NoToAll", "Non pour Tout", mrNoToAll},
    {"YesToAll", "YesToAll", "Oui pour tout", mrYesToAll},
    {"Help", "Help", "Aide", mrNone},
};

int BitIndex(int bit)
{
    for (int i = 0; i < ButtonCount; ++i) {
        if (bit == (1 << i))
            return i;
    }
    return -1;
}

QStyle::StandardPixmap TypeIcon(int type)
{
    switch (type) {
    case mtWarning:
        return QStyle::SP_MessageBoxWarning;
    case mtError:
        return QStyle::SP_MessageBoxCritical;
    case mtInformation:
        return QStyle::SP_MessageBoxInformation;
    case mtConfirmation:
        return QStyle::SP_MessageBoxQuestion;
    default:
        return QStyle::SP_CustomBase;
    }
}

} // namespace

QString TMessageForm::TypeCaption(int type)
{
    switch (type) {
    case mtWarning:
        return Tr(QStringLiteral("Warning"), QStringLiteral("Avertissement"));
    case mtError:
        return Tr(QStringLiteral("Error"), QStringLiteral("Erreur"));
    case mtInformation:
        return Tr(QStringLiteral("Information"), QStringLiteral("Information"));
    case mtConfirmation:
        return Tr(QStringLiteral("Confirm"), QStringLiteral("Confirmation"));
    default:
        return KaVar::AppTitle();
    }
}

QString TMessageForm::ButtonCaption(int bit)
{
    const int i = BitIndex(bit);
    return i < 0 ? QString() : Tr(QString::fromUtf8(Buttons[i].english), QString::fromUtf8(Buttons[i].french));
}

QString TMessageForm::ButtonName(int bit)
{
    const int i = BitIndex(bit);
    return i < 0 ? QString() : QString::fromLatin1(Buttons[i].name);
}

int TMessageForm::ButtonResult(int bit)
{
    const int i = BitIndex(bit);
    return i < 0 ? mrNone : Buttons[i].result;
}

TMessageForm::TMessageForm(const QString &text, int type, int buttons, int helpContext, QWidget *parent)
    : QDialog(parent), m_helpContext(helpContext)
{
    setObjectName(QStringLiteral("MessageForm"));
    setModal(true);
    // Above the window it belongs to: a message about a window kept on top
    // (the login dialog) must not open behind it.
    Qt::WindowFlags flags =
        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (parent && parent->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    setFont(QApplication::font("QMessageBox"));
    setWindowTitle(TypeCaption(type));

    // Metrics of the message font.
    const QFontMetrics fm(font());
    const int cx = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52;
    const int cy = fm.height();
    const int hMargin = 8 * cx / 4;
    const int vMargin = 8 * cy / 8;
    const int hSpacing = 10 * cx / 4;
    const int vSpacing = 10 * cy / 8;
    const int buttonSpacing = 4 * cx / 4;
    const int buttonHeight = 14 * cy / 8;

    // Text wrapped within half the screen width, beside the icon when there is one.
    const QScreen *screen = QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->availableGeometry().width() : 1024;
    const Qt::Alignment alignment =
        (QGuiApplication::layoutDirection() == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop;
    QRect textRect = fm.boundingRect(QRect(0, 0, screenWidth / 2, 0), int(alignment) | Qt::TextWordWrap, text);
    int textLeft = hMargin;
    int textHeight = textRect.height();
    const QStyle::StandardPixmap icon = TypeIcon(type);
    if (icon != QStyle::SP_CustomBase) {
        auto *image = new QLabel(this);
        image->setObjectName(QStringLiteral("Image"));
        image->setPixmap(style()->standardIcon(icon).pixmap(32, 32));
        image->setGeometry(hMargin, vMargin, 32, 32);
        textLeft = hMargin + 32 + hSpacing;
        textHeight = std::max(textHeight, 32);
    }
    m_message = new QLabel(text, this);
    m_message->setObjectName(QStringLiteral("Message"));
    m_message->setWordWrap(true);
    m_message->setAlignment(alignment);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setGeometry(textLeft, vMargin, textRect.width() + 1, textRect.height());

    // One button per bit, in bit order; all as wide as the widest caption.
    int buttonWidth = 50 * cx / 4;
    for (int i = 0; i < ButtonCount; ++i) {
        if (buttons & (1 << i)) {
            QString caption = ButtonCaption(1 << i);
            caption.remove(QLatin1Char('&'));
            buttonWidth = std::max(buttonWidth, fm.horizontalAdvance(caption) + 8);
        }
    }
    for (int i = 0; i < ButtonCount; ++i) {
        const int bit = 1 << i;
        if (!(buttons & bit))
            continue;
        auto *button = new QPushButton(ButtonCaption(bit), this);
        button->setObjectName(ButtonName(bit));
        button->setProperty("modalResult", Buttons[i].result);
        // Enter presses the button that has the focus; the default button
        // answers only while no button has it.
        button->setAutoDefault(true);
        if (bit == mbHelp) {
            connect(button, &QPushButton::clicked, this, [] {
                try {
                    ShellOpen(KaVar::HelpFile(), 0);
                } catch (const Exception &e) {
                    ShowErrorText(e.message());
                }
            });
        } else {
            const int result = Buttons[i].result;
            connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
        }
        m_buttons << button;
    }
    const auto find = [this](int bit) -> QPushButton * {
        for (QPushButton *b : std::as_const(m_buttons)) {
            if (b->objectName() == ButtonName(bit))
                return b;
        }
        return nullptr;
    };
    m_default = find(mbOK);
    if (!m_default)
        m_default = find(mbYes);
    if (!m_default)
        m_default = find(mbRetry);
    m_cancel = find(mbCancel);
    if (!m_cancel)
        m_cancel = find(mbNo);
    if (!m_cancel)
        m_cancel = find(mbOK);
    if (m_default) {
        m_default->setDefault(true);
        m_default->setFocus();
    }

    const int rowWidth = int(m_buttons.size()) * buttonWidth + std::max(0, int(m_buttons.size()) - 1) * buttonSpacing;
    const int clientWidth = std::max(textLeft + textRect.width(), rowWidth) + 2 * hMargin;
    const int clientHeight = textHeight + vSpacing + buttonHeight + 2 * vMargin;
    int x = (clientWidth - rowWidth) / 2;
    const int y = vMargin + textHeight + vSpacing;
    for (QPushButton *b : std::as_const(m_buttons)) {
        b->setGeometry(x, y, buttonWidth, buttonHeight);
        x += buttonWidth + buttonSpacing;
    }
    setFixedSize(clientWidth, clientHeight);
    if (screen) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(clientWidth / 2, clientHeight / 2));
    }
}

QString TMessageForm::dialogText() const
{
    const QString divider = QString(27, QLatin1Char('-'));
    const QString crlf = QStringLiteral("\r\n");
    QString captions;
    for (const QPushButton *b : m_buttons)
        captions += QString(b->text()).remove(QLatin1Char('&')) + QStringLiteral("   ");
    return divider + crlf + windowTitle() + crlf + divider + crlf + m_message->text() + crlf + divider + crlf +
           captions + crlf + divider + crlf;
}

void TMessageForm::copyToClipboard()
{
    QApplication::beep();
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        throw Exception(QStringLiteral("Cannot Open Clipboard"));
    clipboard->setText(dialogText());
}

void TMessageForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_C && event->modifiers() == Qt::ControlModifier) {
        try {
            copyToClipboard();
        } catch (const Exception &e) {
            ShowErrorText(e.message());
        }
        return;
    }
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (m_cancel)
            m_cancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TMessageForm::reject()
{
    // The close box gives Cancel's result.
    done(mrCancel);
}
