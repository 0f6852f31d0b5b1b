#include "engine/F_KA_Show.h"

#include "base/U_KA_Var.h"
#include "diag/ZelException.h"
#include "base/TPlayer.h"
#include "store/D_KA_Alarms.h"
#include "ui/F_KA_Main.h"
#include "ui/Widgets.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

using namespace store;
using KaVar::Tr;

TfmKaShow *fmKaShow = nullptr;

namespace {

int g_minuteInterval = 60000;

// Periodicity groups: one-shot codes and start/exit codes.
bool OneShot(int period)
{
    return period == 0 || period == 7 || period == 8;
}

bool StartOrExit(int period)
{
    return period >= 7 && period <= 10;
}

QIcon Picture(const QString &name)
{
    return QIcon(QStringLiteral(":/icons/") + name + QStringLiteral(".png"));
}

QFrame *Band(QWidget *parent, const QString &name, int height, QFrame::Shape shape, QFrame::Shadow shadow)
{
    auto *f = new QFrame(parent);
    f->setObjectName(name);
    f->setFixedHeight(height);
    f->setFrameShape(shape);
    f->setFrameShadow(shadow);
    return f;
}

QLabel *Caption(QWidget *parent, const QString &name, int height)
{
    auto *l = new QLabel(parent);
    l->setObjectName(name);
    l->setFixedHeight(height);
    l->setContentsMargins(10, 0, 10, 0);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    l->setTextFormat(Qt::PlainText);
    return l;
}

} // namespace

TfmKaShow::TfmKaShow(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmKaShow"));
    fmKaShow = this;
    // A tool window of its own (no parent window), without system menu.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("Alarm "));
    setModal(true);
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    setFixedSize(DesignWidth, DesignHeight);

    imlShow << Picture(QStringLiteral("delete")) << Picture(QStringLiteral("confirm"))
            << Picture(QStringLiteral("close_periodic")) << Picture(QStringLiteral("remember"))
            << Picture(QStringLiteral("no_launch")) << Picture(QStringLiteral("priority_low"))
            << Picture(QStringLiteral("priority_normal")) << Picture(QStringLiteral("priority_high"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // 1. Date and time between the two priority pictures.
    pnDateTime = Band(this, QStringLiteral("pnDateTime"), 27, QFrame::Panel, QFrame::Raised);
    pnDateTime->setLineWidth(2);
    auto *dateRow = new QHBoxLayout(pnDateTime);
    dateRow->setContentsMargins(4, 0, 4, 0);
    imgPriority1 = new QLabel(pnDateTime);
    imgPriority1->setObjectName(QStringLiteral("imgPriority1"));
    imgPriority2 = new QLabel(pnDateTime);
    imgPriority2->setObjectName(QStringLiteral("imgPriority2"));
    for (QLabel *img : {imgPriority1, imgPriority2})
        img->setFixedSize(16, 16);
    lbDateTime = new QLabel(pnDateTime);
    lbDateTime->setObjectName(QStringLiteral("lbDateTime"));
    lbDateTime->setAlignment(Qt::AlignCenter);
    QFont bold = font;
    bold.setBold(true);
    lbDateTime->setFont(bold);
    lbDateTime->setStyleSheet(QStringLiteral("color: green"));
    dateRow->addWidget(imgPriority1);
    dateRow->addWidget(lbDateTime, 1);
    dateRow->addWidget(imgPriority2);
    layout->addWidget(pnDateTime);

    // 2, 3. Periodicity and launch lines.
    pnPeriodicity = Caption(this, QStringLiteral("pnPeriodicity"), 18);
    pnPeriodicity->setText(QStringLiteral("Periodicity :"));
    pnLaunch = Caption(this, QStringLiteral("pnLaunch"), 18);
    pnLaunch->setText(QStringLiteral("Launch :"));
    layout->addWidget(pnPeriodicity);
    layout->addWidget(pnLaunch);

    // 4. Title and comments in a lowered frame.
    pnFrame = new QFrame(this);
    pnFrame->setObjectName(QStringLiteral("pnFrame"));
    pnFrame->setFrameShape(QFrame::Panel);
    pnFrame->setFrameShadow(QFrame::Sunken);
    auto *frame = new QVBoxLayout(pnFrame);
    frame->setContentsMargins(2, 2, 2, 2);
    frame->setSpacing(0);
    pnTitle = new QLabel(pnFrame);
    pnTitle->setObjectName(QStringLiteral("pnTitle"));
    pnTitle->setFixedHeight(20);
    pnTitle->setAlignment(Qt::AlignCenter);
    pnTitle->setFont(bold);
    pnTitle->setTextFormat(Qt::PlainText);
    pnComments = Band(pnFrame, QStringLiteral("pnComments"), 114, QFrame::Panel, QFrame::Sunken);
    auto *comments = new QVBoxLayout(pnComments);
    comments->setContentsMargins(5, 5, 5, 5);
    moComments = new QPlainTextEdit(pnComments);
    moComments->setObjectName(QStringLiteral("moComments"));
    moComments->setReadOnly(true);
    moComments->setFrameShape(QFrame::NoFrame);
    moComments->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    moComments->setFocusPolicy(Qt::NoFocus);
    comments->addWidget(moComments);
    frame->addWidget(pnTitle);
    frame->addWidget(pnComments);
    frame->addStretch(1);
    layout->addWidget(pnFrame, 1);

    // 5. Countdown, remember minutes and the answer buttons.
    pnBottom = Band(this, QStringLiteral("pnBottom"), 40, QFrame::NoFrame, QFrame::Plain);
    auto *bottom = new QHBoxLayout(pnBottom);
    bottom->setContentsMargins(4, 4, 4, 4);
    bottom->setSpacing(2);
    lbTimer = new QLabel(pnBottom);
    lbTimer->setObjectName(QStringLiteral("lbTimer"));
    lbTimer->setFixedSize(57, 23);
    lbTimer->setWordWrap(true);
    QFont small = font;
    small.setPointSize(7);
    lbTimer->setFont(small);
    lbTimer->setStyleSheet(QStringLiteral("color: #404040"));
    edtRememberShow = new QLineEdit(QStringLiteral("0"), pnBottom);
    edtRememberShow->setObjectName(QStringLiteral("edtRememberShow"));
    edtRememberShow->setFixedWidth(28);
    edtRememberShow->setStyleSheet(QStringLiteral("background: #e0e0e0"));
    edtRememberShow->installEventFilter(this);
    edtRememberValue = new TUpDown(0, 360, 0, pnBottom);
    edtRememberValue->setObjectName(QStringLiteral("edtRememberValue"));
    edtRememberValue->setFixedSize(15, 22);
    // The field and its up-down: the arrows write the field, a typed number
    // moves the up-down (kept within 0..360); other text is ignored.
    connect(edtRememberValue, &TUpDown::changed, this, [this](int v) {
        if (edtRememberShow->text() != QString::number(v))
            edtRememberShow->setText(QString::number(v));
    });
    connect(edtRememberShow, &QLineEdit::textEdited, this, [this](const QString &text) {
        bool ok = false;
        const int v = text.trimmed().toInt(&ok);
        if (ok)
            edtRememberValue->setPosition(v);
    });
    btnRemember = new QToolButton(pnBottom);
    btnRemember->setObjectName(QStringLiteral("btnRemember"));
    btnRemember->setText(QStringLiteral("Remember"));
    btnRemember->setIcon(imlShow[3]);
    btnRemember->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    btnRemember->setAutoRaise(true);
    ppmBtn = new QMenu(this);
    ppmBtn->setObjectName(QStringLiteral("ppmBtn"));
    miClose = ppmBtn->addAction(imlShow[1], QStringLiteral("Close"));
    miClose->setObjectName(QStringLiteral("miClose"));
    miClose->setProperty("ImageIndex", 1);
    miDelete = ppmBtn->addAction(imlShow[0], QStringLiteral("Delete"));
    miDelete->setObjectName(QStringLiteral("miDelete"));
    miDelete->setProperty("ImageIndex", 0);
    ppmBtn->addSeparator();
    miNoLaunch = ppmBtn->addAction(imlShow[4], QStringLiteral("No launch"));
    miNoLaunch->setObjectName(QStringLiteral("miNoLaunch"));
    miNoLaunch->setProperty("ImageIndex", 4);
    miNoLaunch->setVisible(false);
    btnOk = new QToolButton(pnBottom);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setMenu(ppmBtn);
    btnOk->setPopupMode(QToolButton::MenuButtonPopup);
    btnOk->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    btnOk->setAutoRaise(true);
    for (QAction *a : {miClose, miDelete, miNoLaunch})
        connect(a, &QAction::triggered, this, [this, a] { UpdateButton(a); });
    connect(btnRemember, &QToolButton::clicked, this, [this] { btnRememberClick(); });
    connect(btnOk, &QToolButton::clicked, this, [this] { btnOkClick(); });
    UpdateButton(miDelete);

    auto *sep1 = new QFrame(pnBottom);
    auto *sep2 = new QFrame(pnBottom);
    for (QFrame *sep : {sep1, sep2}) {
        sep->setFrameShape(QFrame::VLine);
        sep->setFrameShadow(QFrame::Sunken);
    }
    bottom->addWidget(lbTimer);
    bottom->addStretch(1);
    bottom->addWidget(edtRememberShow);
    bottom->addWidget(edtRememberValue);
    bottom->addWidget(sep1);
    bottom->addWidget(btnRemember);
    bottom->addWidget(sep2);
    bottom->addWidget(btnOk);
    layout->addWidget(pnBottom);

    Timer.setObjectName(QStringLiteral("Timer"));
    Timer.setInterval(g_minuteInterval);
    connect(&Timer, &QTimer::timeout, this, [this] { TimerTimer(); });

    PlayWave = [](const QString &path, int volume) { return PlayWaveFile(path, volume); };
    Beep = [] { QApplication::beep(); };

    // Placed at the screen's centre until a display places it.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - QPoint(DesignWidth / 2, DesignHeight / 2));
    edtRememberShow->setFocus();
}

TfmKaShow::~TfmKaShow()
{
    if (dmKaAlarms && dmKaAlarms->AlarmBox() == this)
        dmKaAlarms->SetAlarmBox(nullptr);
    if (fmKaShow == this)
        fmKaShow = nullptr;
}

void TfmKaShow::SetMinuteInterval(int milliseconds)
{
    g_minuteInterval = milliseconds;
    if (fmKaShow)
        fmKaShow->Timer.setInterval(milliseconds);
}

// ---------------------------------------------------------------------------
// Display of one alarm

int TfmKaShow::DisplayAlarm(int &minutes)
{
    // 1. No main window: nothing to show the alarm for.
    TfmKaMain *main = fmKaMain;
    if (!main || !dmKaAlarms)
        throw EAbort();

    // 2. What step 18 puts back, whatever happens.
    const int savedHeight = height();
    const QString savedCaption = windowTitle();
    const QString savedAppTitle = QGuiApplication::applicationDisplayName();
    m_periodicityCaption = pnPeriodicity->text();
    m_launchCaption = pnLaunch->text();
    struct Restore
    {
        TfmKaShow *box;
        int height;
        QString caption, appTitle, periodicity, launch;
        ~Restore()
        {
            box->setFixedSize(DesignWidth, height);
            box->setWindowTitle(caption);
            QGuiApplication::setApplicationDisplayName(appTitle);
            box->pnPeriodicity->setText(periodicity);
            box->pnLaunch->setText(launch);
        }
    } restore{this, savedHeight, savedCaption, savedAppTitle, m_periodicityCaption, m_launchCaption};

    int result = abrNone;
    m_answered = false;
    m_followed = false;
    try {
        const Table &alarm = dmKaAlarms->cdsThread;
        const QString application = alarm.fieldByName(AlarmField::Application).asString();
        const int period = alarm.fieldByName(AlarmField::Period).asInteger();
        const int priority = alarm.fieldByName(AlarmField::Priority).asInteger();
        int h = savedHeight;

        // 3. The captions: "Almarik 2 - Alarm".
        const QString title = savedAppTitle + QStringLiteral(" - ") + savedCaption.trimmed();
        QGuiApplication::setApplicationDisplayName(title);
        setWindowTitle(title);
        // 4. Title.
        pnTitle->setText(alarm.fieldByName(AlarmField::Title).asString());
        // 5, 6. Remember and the countdown: none for start and exit alarms.
        btnRemember->setVisible(!StartOrExit(period));
        lbTimer->clear();
        lbTimer->setVisible(!StartOrExit(period) && !main->cbxOptionsNoRememberOnPeriodic->isChecked() &&
                            main->edtOptionsAutoRememberValue->position() > 0);
        // 7. Periodicity name (its number when it has none).
        QString periodName = main->cbEditPeriodicity->itemText(period);
        if (period < 0 || period >= main->cbEditPeriodicity->count())
            periodName = QString::number(period);
        pnPeriodicity->setText(m_periodicityCaption + QStringLiteral(" ") + periodName);
        // 8. Priority pictures.
        const QPixmap picture = imlShow.value(5 + priority).pixmap(16, 16);
        imgPriority1->setPixmap(picture);
        imgPriority2->setPixmap(picture);
        // 9. Launch line and No launch, only with an application.
        if (application.isEmpty()) {
            pnLaunch->hide();
            miNoLaunch->setVisible(false);
            h -= pnLaunch->height();
        } else {
            pnLaunch->show();
            miNoLaunch->setVisible(true);
            pnLaunch->setText(m_launchCaption + QStringLiteral(" ") + application);
        }
        // 10. The default answer: Delete for one-shot alarms, Close otherwise.
        if (OneShot(period)) {
            miClose->setVisible(false);
            miDelete->trigger();
        } else {
            miClose->setVisible(true);
            miClose->setIcon(imlShow[2]);
            miClose->setProperty("ImageIndex", 2);
            miClose->trigger();
        }
        // 11. Remember minutes.
        edtRememberValue->setPosition(main->edtOptionsRememberValue->position());
        edtRememberShow->setText(QString::number(edtRememberValue->position()));
        // 12. Date and time.
        lbDateTime->setText(zel::DateTimeToStr(alarm.fieldByName(AlarmField::Date).asDateTime()));
        // 13. Comments.
        const QString comments = alarm.fieldByName(AlarmField::Comments).asString();
        if (!comments.isEmpty()) {
            pnComments->show();
            moComments->setPlainText(comments);
        } else {
            pnComments->hide();
            moComments->clear();
            h -= pnComments->height();
        }
        setFixedSize(DesignWidth, h);
        // 14. Stay on top.
        m_stayOnTop = main->cbxOptionsStayOnTop->isChecked();
        ApplyStayOnTop();
        // 15. Placement on the work area.
        PlaceWindow(main->rgpOptionsBoxPos->itemIndex(), main->edtOptionsMaginValue->position());

        // 16. Sound; step 17 runs even when it fails, and the failure is
        // reported after it.
        std::exception_ptr soundFailure;
        try {
            if (alarm.fieldByName(AlarmField::Sound).asInteger() != 0) {
                if (main->rbOptionsWave->isChecked()) {
                    if (!PlayWave(main->edtOptionsWave->text(), main->edtOptionsWaveVol->value()))
                        Beep();
                } else if (main->rbOptionsBeep->isChecked()) {
                    Beep();
                }
            }
        } catch (...) {
            soundFailure = std::current_exception();
        }

        // 17. The box, unless the alarm only launches its application.
        if (alarm.fieldByName(AlarmField::AppSilent).asInteger() != 0 && !application.isEmpty()) {
            result = abrClose;
            m_answered = true;
        } else {
            if (!lbTimer->isHidden()) {
                m_countdown = main->edtOptionsAutoRememberValue->position();
                ShowCountdown();
            } else {
                m_countdown = 0;
            }
            main->SetTrayAnimation(true, 300 / std::max(1, priority + 1));
            setResult(abrNone);
            edtRememberShow->setFocus();
            try {
                result = exec();
            } catch (...) {
                main->SetTrayAnimation(false, 0);
                throw;
            }
            main->SetTrayAnimation(false, 0);
            minutes = edtRememberValue->position();
            if (!m_answered) {
                // The modal loop ended without an answer: the program ends
                // (session end). The alarm stays as it is.
                hide();
                throw EAbort();
            }
        }
        if (soundFailure)
            std::rethrow_exception(soundFailure);
    } catch (const EAbort &) {
        throw;
    } catch (const Exception &e) {
        ShowErrorText(Tr(QStringLiteral("Error on displaying alarm : "),
                         QStringLiteral("Erreur lors de l'affichage de l'alarme : ")) +
                      QStringLiteral("\r\n") + e.message());
        hide();
    } catch (const std::exception &e) {
        ShowErrorText(Tr(QStringLiteral("Error on displaying alarm : "),
                         QStringLiteral("Erreur lors de l'affichage de l'alarme : ")) +
                      QStringLiteral("\r\n") + QString::fromLocal8Bit(e.what()));
        hide();
    }
    return result;
}

void TfmKaShow::ApplyStayOnTop()
{
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, m_stayOnTop);
    if (visible)
        show();
}

void TfmKaShow::PlaceWindow(int position, int margin)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    m_placement = position;
    m_margin = margin;
    const QRect work = screen->availableGeometry();
    // The whole window, frame included, is what is placed. The frame is the
    // one the platform knows, else the one seen at the last display.
    const QMargins known = FrameMargins();
    const QMargins frame = known.isNull() ? m_frame : known;
    const int w = width() + frame.left() + frame.right();
    const int h = height() + frame.top() + frame.bottom();
    int left = 0;
    int top = 0;
    switch (position) {
    case 1:
        top = work.top() + margin;
        left = work.left() + margin;
        break;
    case 2:
        top = work.top() + margin;
        left = work.left() + work.width() - w - margin;
        break;
    case 3:
        top = work.top() + work.height() - h - margin;
        left = work.left() + margin;
        break;
    case 4:
        top = work.top() + work.height() - h - margin;
        left = work.left() + work.width() - w - margin;
        break;
    default: {
        const QRect all = screen->geometry();
        top = all.top() + (all.height() - h) / 2;
        left = all.left() + (all.width() - w) / 2;
        break;
    }
    }
    // move() places the frame the platform knows of.
    m_placing = true;
    move(left + frame.left() - known.left(), top + frame.top() - known.top());
    m_placing = false;
}

QMargins TfmKaShow::FrameMargins() const
{
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                    outer.bottom() - inner.bottom());
}

// ---------------------------------------------------------------------------
// Choices

void TfmKaShow::Answer(int result)
{
    m_answered = true;
    done(result);
}

void TfmKaShow::btnOkClick()
{
    switch (m_okImage) {
    case 0:
        Answer(abrDelete);
        break;
    case 1:
    case 2:
        Answer(abrClose);
        break;
    case 4:
        Answer(abrNoLaunch);
        break;
    default:
        break;
    }
}

void TfmKaShow::btnRememberClick()
{
    Answer(abrRemember);
}

void TfmKaShow::UpdateButton(QAction *sender)
{
    if (!sender)
        return;
    btnOk->setText(sender->text());
    btnOk->setIcon(sender->icon());
    m_okImage = sender->property("ImageIndex").toInt();
}

bool TfmKaShow::edtRememberShowKeyDown(int key)
{
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    if (!btnRemember->isHidden())
        btnRememberClick();
    return true;
}

bool TfmKaShow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == edtRememberShow && event->type() == QEvent::KeyPress) {
        if (edtRememberShowKeyDown(static_cast<QKeyEvent *>(event)->key()))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Countdown

void TfmKaShow::ShowCountdown()
{
    lbTimer->setText(Tr(QStringLiteral("Auto-remind in %d min"), QStringLiteral("Rappel auto dans %d min"))
                         .replace(QStringLiteral("%d"), QString::number(m_countdown)));
}

void TfmKaShow::TimerTimer()
{
    --m_countdown;
    if (m_countdown <= 0) {
        Timer.stop();
        btnRememberClick();
        return;
    }
    ShowCountdown();
}

// ---------------------------------------------------------------------------
// The window's life

void TfmKaShow::FormShow()
{
    Timer.setInterval(g_minuteInterval);
    if (!lbTimer->isHidden() && m_countdown > 0)
        Timer.start();
}

void TfmKaShow::FormHide()
{
    Timer.stop();
    if (TPlayer *player = KaVar::Player())
        player->Stop();
}

void TfmKaShow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
    QTimer::singleShot(0, this, [this] { FollowFrame(); });
}

void TfmKaShow::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        FormHide();
}

void TfmKaShow::moveEvent(QMoveEvent *event)
{
    QDialog::moveEvent(event);
    FollowFrame();
}

void TfmKaShow::FollowFrame()
{
    if (!isVisible() || m_placing || m_followed)
        return;
    // The window manager's frame is known only once the window is shown:
    // when it differs from the one the placement counted with, place again.
    const QMargins frame = FrameMargins();
    if (frame.isNull() || frame == m_frame)
        return;
    m_frame = frame;
    // Once per display: the placement never chases the window manager.
    m_followed = true;
    PlaceWindow(m_placement, m_margin);
}

void TfmKaShow::closeEvent(QCloseEvent *event)
{
    // Closed any other way than by a choice: Delete.
    if (isVisible() && !m_answered) {
        event->ignore();
        Answer(abrDelete);
        return;
    }
    QDialog::closeEvent(event);
}

void TfmKaShow::reject()
{
    // Escape answers nothing: the box waits for a choice.
}
