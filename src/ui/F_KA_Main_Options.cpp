// The options page of the main window: three columns of group boxes holding
// every setting of the program, and the language lists.
#include "ui/F_KA_Main.h"
#include "ui/ThreadTimer.h"
#include "ui/YearPlanner.h"

#include "base/U_KA_Var.h"
#include "diag/U_ZEL_System.h"
#include "base/TPlayer.h"
#include "ui/FormStorage.h"
#include "ui/LoginDialog.h"
#include "diag/U_ZEL_Utilities.h"
#include "store/D_KA_Alarms.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMediaDevices>
#include <QGuiApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QScreen>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <QScopedValueRollback>

#include <algorithm>
#include <limits>

namespace {

QGroupBox *Group(const QString &name, const QString &caption)
{
    auto *box = new QGroupBox(caption);
    box->setObjectName(name);
    return box;
}

// A list as high as its entries, in whatever font it has.
class TEntriesList : public QListWidget
{
public:
    QSize sizeHint() const override
    {
        int height = 2 * frameWidth();
        for (int row = 0; row < count(); ++row)
            height += sizeHintForRow(row);
        return {QListWidget::sizeHint().width(), height};
    }
    QSize minimumSizeHint() const override { return {QListWidget::minimumSizeHint().width(), sizeHint().height()}; }
};

// The page has a fixed size whatever the font: group boxes keep their
// content close to their frame.
template <typename Layout>
Layout *Tight(Layout *layout)
{
    layout->setContentsMargins(6, 2, 6, 4);
    layout->setSpacing(2);
    return layout;
}

QLabel *Label(const QString &name, const QString &caption)
{
    auto *label = new QLabel(caption);
    label->setObjectName(name);
    return label;
}

QCheckBox *Check(const QString &name, const QString &caption, bool checked)
{
    auto *c = new QCheckBox(caption);
    c->setObjectName(name);
    c->setChecked(checked);
    return c;
}

QLabel *RedStar()
{
    auto *star = new QLabel(QStringLiteral("*"));
    QPalette pal = star->palette();
    pal.setColor(QPalette::WindowText, Qt::red);
    star->setPalette(pal);
    QFont bold = star->font();
    bold.setBold(true);
    star->setFont(bold);
    return star;
}

// A small flag picture for the language list.
QIcon Flag(bool french)
{
    QPixmap pixmap(20, 14);
    QPainter p(&pixmap);
    if (french) {
        p.fillRect(0, 0, 7, 14, QColor(0, 35, 149));
        p.fillRect(7, 0, 6, 14, Qt::white);
        p.fillRect(13, 0, 7, 14, QColor(237, 41, 57));
    } else {
        p.fillRect(0, 0, 20, 14, QColor(1, 33, 105));
        p.setPen(QPen(Qt::white, 3));
        p.drawLine(0, 0, 20, 14);
        p.drawLine(0, 14, 20, 0);
        p.fillRect(8, 0, 4, 14, Qt::white);
        p.fillRect(0, 5, 20, 4, Qt::white);
        p.fillRect(9, 0, 2, 14, QColor(200, 16, 46));
        p.fillRect(0, 6, 20, 2, QColor(200, 16, 46));
    }
    p.setPen(Qt::gray);
    p.drawRect(0, 0, 19, 13);
    return QIcon(pixmap);
}

// Shows a password as one "*" per character, whatever the style's own sign.
class TPasswordStarStyle : public QProxyStyle
{
public:
    explicit TPasswordStarStyle(QObject *owner) { setParent(owner); }
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

QPoint PlaceOnScreen(const QRect &frame)
{
    // The screen that holds most of the window, else the nearest one.
    const QList<QScreen *> screens = QGuiApplication::screens();
    QScreen *best = nullptr;
    qint64 bestArea = -1;
    for (QScreen *screen : screens) {
        const QRect common = screen->availableGeometry().intersected(frame);
        const qint64 area = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        if (area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    if (bestArea == 0) {
        qint64 nearest = std::numeric_limits<qint64>::max();
        for (QScreen *screen : screens) {
            const QPoint d = screen->availableGeometry().center() - frame.center();
            const qint64 distance = qint64(d.x()) * d.x() + qint64(d.y()) * d.y();
            if (distance < nearest) {
                best = screen;
                nearest = distance;
            }
        }
    }
    if (!best)
        return frame.topLeft();
    const QRect area = best->availableGeometry();
    // Inside the area; a window larger than it keeps its top left corner in.
    const int x = std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width()));
    const int y = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height()));
    return {x, y};
}

QWidget *TfmKaMain::BuildOptionsPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("pgOptions"));
    auto *columns = new QHBoxLayout(page);
    columns->setContentsMargins(4, 4, 4, 4);
    columns->setSpacing(4);
    auto *left = new QVBoxLayout;
    auto *middle = new QVBoxLayout;
    auto *right = new QVBoxLayout;
    for (QVBoxLayout *c : {left, middle, right}) {
        c->setSpacing(4);
        columns->addLayout(c, 1);
    }

    // An up-down with its read-only value box and, where 0 turns the feature
    // off, a red "*".
    const auto upDown = [](QGridLayout *grid, int row, const QString &caption, TUpDown *&control, const QString &name,
                           QLineEdit *&show, const QString &showName, int minimum, int maximum, int position,
                           bool zeroOff) {
        control = new TUpDown(minimum, maximum, position);
        control->setObjectName(name);
        show = new QLineEdit(QString::number(position));
        show->setObjectName(showName);
        show->setReadOnly(true);
        show->setFixedWidth(36);
        show->setAlignment(Qt::AlignRight);
        QObject::connect(control, &TUpDown::changed, show, [show](int v) { show->setText(QString::number(v)); });
        auto *label = new QLabel(caption);
        // lbOptionsCheckValue beside edtOptionsCheckValue, and so on.
        label->setObjectName(QStringLiteral("lb") + name.mid(3));
        label->setWordWrap(true);
        grid->addWidget(label, row, 0);
        auto *value = new QHBoxLayout;
        value->setSpacing(1);
        value->addWidget(show);
        value->addWidget(control);
        if (zeroOff)
            value->addWidget(RedStar());
        value->addStretch();
        grid->addLayout(value, row, 1);
    };

    // Left: System, Confirmations, Sound, Protection, footnote.
    auto *system = Group(QStringLiteral("gbxOptionsSystem"), QStringLiteral("System"));
    auto *s = Tight(new QVBoxLayout(system));
    cbxOptionsAutoStart =
        Check(QStringLiteral("cbxOptionsAutoStart"), QStringLiteral("Load at Windows startup"), false);
    cbxOptionsEnabled = Check(QStringLiteral("cbxOptionsEnabled"), QStringLiteral("Enabled"), true);
    lstOptionsLang = new TEntriesList;
    lstOptionsLang->setObjectName(QStringLiteral("lstOptionsLang"));
    lstOptionsLang->addItem(new QListWidgetItem(Flag(false), QStringLiteral("English")));
    lstOptionsLang->addItem(new QListWidgetItem(Flag(true), QStringLiteral("Fran\u00e7ais")));
    lstOptionsLang->setCurrentRow(0);
    lstOptionsLang->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    lstOptionsLang->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lstOptionsLang->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    s->addWidget(cbxOptionsAutoStart);
    s->addWidget(cbxOptionsEnabled);
    s->addWidget(lstOptionsLang);
    left->addWidget(system);

    auto *confirmations = Group(QStringLiteral("gbxOptionsConfirmations"), QStringLiteral("Confirmations"));
    auto *c = Tight(new QVBoxLayout(confirmations));
    cbxOptionsConfirmEdit =
        Check(QStringLiteral("cbxOptionsConfirmEdit"), QStringLiteral("On post modifications"), true);
    cbxOptionsConfirmCancel =
        Check(QStringLiteral("cbxOptionsConfirmCancel"), QStringLiteral("On cancel modifications"), true);
    cbxOptionsManage = Check(QStringLiteral("cbxOptionsManage"), QStringLiteral("On trash operations"), true);
    c->addWidget(cbxOptionsConfirmEdit);
    c->addWidget(cbxOptionsConfirmCancel);
    c->addWidget(cbxOptionsManage);
    left->addWidget(confirmations);

    auto *sound = Group(QStringLiteral("gbxOptionsSound"), QStringLiteral("Sound"));
    auto *so = Tight(new QGridLayout(sound));
    rbOptionsBeep = new QRadioButton(QStringLiteral("Beep"));
    rbOptionsBeep->setObjectName(QStringLiteral("rbOptionsBeep"));
    rbOptionsWave = new QRadioButton(QStringLiteral("Wave"));
    rbOptionsWave->setObjectName(QStringLiteral("rbOptionsWave"));
    rbOptionsWave->setChecked(true);
    edtOptionsWave = new QLineEdit;
    edtOptionsWave->setObjectName(QStringLiteral("edtOptionsWave"));
    edtOptionsWaveButton = new QToolButton;
    edtOptionsWaveButton->setObjectName(QStringLiteral("edtOptionsWaveButton"));
    edtOptionsWaveButton->setText(QStringLiteral("..."));
    edtOptionsWaveVol = new QSlider(Qt::Horizontal);
    edtOptionsWaveVol->setObjectName(QStringLiteral("edtOptionsWaveVol"));
    edtOptionsWaveVol->setRange(-2500, 0);
    edtOptionsWaveVol->setValue(0);
    edtOptionsWaveVol->setPageStep(250);
    btnOptionsWavePlay = new QToolButton;
    btnOptionsWavePlay->setObjectName(QStringLiteral("btnOptionsWavePlay"));
    btnOptionsWavePlay->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    auto *radios = new QHBoxLayout;
    radios->addWidget(rbOptionsBeep);
    radios->addWidget(rbOptionsWave);
    radios->addStretch();
    so->addLayout(radios, 0, 0, 1, 3);
    auto *file = new QHBoxLayout;
    file->setSpacing(1);
    file->addWidget(edtOptionsWave, 1);
    file->addWidget(edtOptionsWaveButton);
    so->addLayout(file, 1, 0, 1, 3);
    lbOptionsWaveVol = new QLabel(QStringLiteral("Volume"));
    lbOptionsWaveVol->setObjectName(QStringLiteral("lbOptionsWaveVol"));
    so->addWidget(lbOptionsWaveVol, 2, 0);
    so->addWidget(edtOptionsWaveVol, 2, 1);
    so->addWidget(btnOptionsWavePlay, 2, 2);
    left->addWidget(sound);

    auto *protection = Group(QStringLiteral("gbxOptionsProtection"), QStringLiteral("Protection"));
    auto *p = Tight(new QGridLayout(protection));
    cbxOptionsUseLogin = Check(QStringLiteral("cbxOptionsUseLogin"), QStringLiteral("Enabled"), false);
    edtOptionsUser = new QLineEdit;
    edtOptionsUser->setObjectName(QStringLiteral("edtOptionsUser"));
    edtOptionsPwd = new QLineEdit;
    edtOptionsPwd->setObjectName(QStringLiteral("edtOptionsPwd"));
    edtOptionsPwd->setEchoMode(QLineEdit::Password);
    edtOptionsPwd->setStyle(new TPasswordStarStyle(edtOptionsPwd));
    p->addWidget(cbxOptionsUseLogin, 0, 0, 1, 2);
    p->addWidget(Label(QStringLiteral("lbOptionsUser"), QStringLiteral("User")), 1, 0);
    p->addWidget(edtOptionsUser, 1, 1);
    p->addWidget(Label(QStringLiteral("lbOptionsPwd"), QStringLiteral("Password")), 2, 0);
    p->addWidget(edtOptionsPwd, 2, 1);
    left->addWidget(protection);

    auto *footnote = new QHBoxLayout;
    footnote->addWidget(RedStar());
    lbOptionsFootnote = new QLabel(QStringLiteral("Set 0 to deactivate"));
    lbOptionsFootnote->setObjectName(QStringLiteral("lbOptionsFootnote"));
    QFont italic = lbOptionsFootnote->font();
    italic.setItalic(true);
    lbOptionsFootnote->setFont(italic);
    QPalette maroon = lbOptionsFootnote->palette();
    maroon.setColor(QPalette::WindowText, QColor(128, 0, 0));
    lbOptionsFootnote->setPalette(maroon);
    footnote->addWidget(lbOptionsFootnote);
    footnote->addStretch();
    left->addLayout(footnote);
    left->addStretch();

    // Middle: Thread, Auto purge, Remembering, Alarm box settings and position.
    auto *thread = Group(QStringLiteral("gbxOptionsThread"), QStringLiteral("Thread"));
    auto *t = Tight(new QGridLayout(thread));
    cbOptionsPriority = new QComboBox;
    cbOptionsPriority->setObjectName(QStringLiteral("cbOptionsPriority"));
    cbOptionsPriority->addItems({QStringLiteral("Idle"), QStringLiteral("Low"), QStringLiteral("Normal")});
    cbOptionsPriority->setCurrentIndex(1);
    t->addWidget(Label(QStringLiteral("lbOptionsPriority"), QStringLiteral("Priority")), 0, 0);
    t->addWidget(cbOptionsPriority, 0, 1);
    upDown(t, 1, QStringLiteral("Periodicity (sec)"), edtOptionsCheckValue, QStringLiteral("edtOptionsCheckValue"),
           edtOptionsCheckShow, QStringLiteral("edtOptionsCheckShow"), 10, 60, 30, false);
    middle->addWidget(thread);

    auto *purge = Group(QStringLiteral("gbxOptionsPurge"), QStringLiteral("Auto purge"));
    auto *pu = Tight(new QGridLayout(purge));
    upDown(pu, 0, QStringLiteral("Deleted alarms since (days)"), edtOptionsPurgeValue,
           QStringLiteral("edtOptionsPurgeValue"), edtOptionsPurgeShow, QStringLiteral("edtOptionsPurgeShow"), 0, 90,
           15, true);
    middle->addWidget(purge);

    auto *remember = Group(QStringLiteral("gbxOptionsRemember"), QStringLiteral("Remembering"));
    auto *r = Tight(new QGridLayout(remember));
    upDown(r, 0, QStringLiteral("Time add (min)"), edtOptionsRememberValue, QStringLiteral("edtOptionsRememberValue"),
           edtOptionsRememberShow, QStringLiteral("edtOptionsRememberShow"), 0, 160, 10, false);
    upDown(r, 1, QStringLiteral("Auto after (min)"), edtOptionsAutoRememberValue,
           QStringLiteral("edtOptionsAutoRememberValue"), edtOptionsAutoRememberShow,
           QStringLiteral("edtOptionsAutoRememberShow"), 0, 60, 5, true);
    cbxOptionsNoRememberOnPeriodic =
        Check(QStringLiteral("cbxOptionsNoRememberOnPeriodic"), QStringLiteral("No auto for periodic alarms"), false);
    r->addWidget(cbxOptionsNoRememberOnPeriodic, 2, 0, 1, 2);
    middle->addWidget(remember);

    auto *box = Group(QStringLiteral("gbxOptionsBox"), QStringLiteral("Alarm box settings"));
    auto *b = Tight(new QGridLayout(box));
    upDown(b, 0, QStringLiteral("Margin"), edtOptionsMaginValue, QStringLiteral("edtOptionsMaginValue"),
           edtOptionsMaginShow, QStringLiteral("edtOptionsMaginShow"), 0, 200, 50, false);
    cbxOptionsStayOnTop = Check(QStringLiteral("cbxOptionsStayOnTop"), QStringLiteral("Stay on top"), true);
    b->addWidget(cbxOptionsStayOnTop, 1, 0, 1, 2);
    middle->addWidget(box);

    rgpOptionsBoxPos = new TRadioGroup(QStringLiteral("Alarm box position"));
    rgpOptionsBoxPos->setObjectName(QStringLiteral("rgpOptionsBoxPos"));
    rgpOptionsBoxPos->setItems({QStringLiteral("Center"), QStringLiteral("Top left"), QStringLiteral("Top right"),
                                QStringLiteral("Bottom left"), QStringLiteral("Bottom right")});
    rgpOptionsBoxPos->setItemIndex(4);
    middle->addWidget(rgpOptionsBoxPos);
    middle->addStretch();

    // Right: Reminder, Web Update.
    auto *reminder = Group(QStringLiteral("gbxOptionsReminder"), QStringLiteral("Reminder"));
    auto *re = Tight(new QGridLayout(reminder));
    upDown(re, 0, QStringLiteral("Alarms within the next (days)"), edtOptionsReminderValue,
           QStringLiteral("edtOptionsReminderValue"), edtOptionsReminderShow, QStringLiteral("edtOptionsReminderShow"),
           0, 90, 7, true);
    right->addWidget(reminder);

    auto *web = Group(QStringLiteral("gbxOptionsWebUpdate"), QStringLiteral("Web Update"));
    auto *w = Tight(new QGridLayout(web));
    upDown(w, 0, QStringLiteral("Check update (days)"), edtOptionsWebUpdateValue,
           QStringLiteral("edtOptionsWebUpdateValue"), edtOptionsWebUpdateShow,
           QStringLiteral("edtOptionsWebUpdateShow"), 0, 90, 7, true);
    right->addWidget(web);
    right->addStretch();

    // Handlers.
    connect(cbxOptionsAutoStart, &QCheckBox::clicked, this,
            [this] { RunCommand([this] { cbxOptionsAutoStartClick(); }); });
    connect(rbOptionsBeep, &QRadioButton::toggled, this, [this] { rbSoundClick(); });
    connect(rbOptionsWave, &QRadioButton::toggled, this, [this] { rbSoundClick(); });
    connect(edtOptionsWaveButton, &QToolButton::clicked, this,
            [this] { RunCommand([this] { edtOptionsWaveButtonClick(); }); });
    connect(btnOptionsWavePlay, &QToolButton::clicked, this, [this] { btnOptionsWavePlayClick(); });
    connect(cbxOptionsUseLogin, &QCheckBox::toggled, this, [this] { cbxOptionsUseLoginClick(); });
    connect(lstOptionsLang, &QListWidget::currentRowChanged, this,
            [this] { RunCommand([this] { lstOptionsLangChange(); }); });
    connect(cbOptionsPriority, &QComboBox::currentIndexChanged, this, [this] { cbOptionsPriorityChange(); });
    auto *devices = new QMediaDevices(page);
    connect(devices, &QMediaDevices::audioOutputsChanged, this,
            [this] { SoundOutputsChanged(TPlayer::HasOutputDevice()); });
    return page;
}

void TfmKaMain::cbxOptionsAutoStartClick()
{
    SetAutoStart(cbxOptionsAutoStart->isChecked());
}

void TfmKaMain::rbSoundClick()
{
    const bool wave = rbOptionsWave->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *>{edtOptionsWave, edtOptionsWaveButton, btnOptionsWavePlay,
                                                       edtOptionsWaveVol, lbOptionsWaveVol})
        w->setEnabled(wave);
}

QString TfmKaMain::edtOptionsWaveBeforeDialog() const
{
    // The folder of the current file; the installation's sounds when there is
    // none; the root of the file system when that folder does not exist.
    const QString current = edtOptionsWave->text().trimmed();
    QString folder = current.isEmpty() ? KaVar::SoundDir() : QFileInfo(current).path();
    if (!current.isEmpty() && !current.contains(QDir::separator()) && !current.contains(QLatin1Char('/')))
        folder = KaVar::SoundDir();
    if (!QFileInfo(folder).isDir())
        folder = QDir::rootPath();
    return folder;
}

void TfmKaMain::edtOptionsWaveButtonClick()
{
    const QString chosen = ShowFileDialog({QStringLiteral("Select file"),
                                           QStringLiteral("Wave files (*.wav)|*.wav|MP3 Files (*.mp3)|*.mp3|"
                                                          "Midi Files (*.mid)|*.mid|Any file (*.*)|*.*"),
                                           QStringLiteral("wav"), edtOptionsWaveBeforeDialog(), false});
    if (!chosen.isEmpty())
        edtOptionsWave->setText(chosen);
}

void TfmKaMain::btnOptionsWavePlayClick()
{
    PlayWaveFile(edtOptionsWave->text(), edtOptionsWaveVol->value());
}

void TfmKaMain::cbxOptionsUseLoginClick()
{
    const bool on = cbxOptionsUseLogin->isChecked();
    dlgLogin->SetActive(on);
    edtOptionsUser->setEnabled(on);
    edtOptionsPwd->setEnabled(on);
}

bool TfmKaMain::dlgLoginCheckUser(const QString &user, const QString &password)
{
    if (user == edtOptionsUser->text() && password == edtOptionsPwd->text())
        return true;
    ShowMessageDialog(KaVar::Tr(QStringLiteral("Invalid Login !"), QStringLiteral("Login invalide !")), mtError, mbOK);
    return false;
}

bool TfmKaMain::RunLogin()
{
    if (!dlgLogin->Active())
        return true;
    if (!dlgLogin->Execute())
        return false;
    setWindowTitle(QStringLiteral("%1 (%2)").arg(windowTitle(), dlgLogin->UserName()));
    return true;
}

void TfmKaMain::lstOptionsLangChange()
{
    ApplyLanguage(lstOptionsLang->currentRow());
}

void TfmKaMain::ApplyLanguage(int entry)
{
    if (const TZELApplication *app = ZELApplication(); !app || app->AppPhase == apInitializing)
        return;
    // The priority list's selection is put back once its items are replaced.
    const int priority = cbOptionsPriority->currentIndex();
    {
        const QSignalBlocker block(cbOptionsPriority);
        cbOptionsPriority->setCurrentIndex(-1);
    }
    if (entry >= 0)
        KaVar::SetLanguageIndex(entry);
    ApplyLanguageLists();
    RefreshForm();
    const QString file = KaVar::LangDir() +
                         (KaVar::LanguageIndex() == 1 ? QStringLiteral("French.lang") : QStringLiteral("English.lang"));
    for (QWidget *window : {static_cast<QWidget *>(this), m_alarmBox.data(), m_reminderBox.data()}) {
        if (auto *translated = dynamic_cast<TTranslatedWindow *>(window)) {
            translated->Translator.SetLanguageFile(file);
            translated->Translator.Translate(window);
        }
    }
    {
        const QSignalBlocker block(cbOptionsPriority);
        cbOptionsPriority->setCurrentIndex(priority);
    }
    if (store::Field *bound = PeriodicityListField())
        SetPeriodicityListIndex(bound->asInteger());
}

void TfmKaMain::cbOptionsPriorityChange()
{
    // Applied to the check timer's thread.
    m_threadPriority = cbOptionsPriority->currentIndex();
    static constexpr QThread::Priority priorities[] = {QThread::IdlePriority, QThread::LowPriority,
                                                       QThread::NormalPriority};
    Timer->setPriority(priorities[std::clamp(m_threadPriority, 0, 2)]);
}

void TfmKaMain::CheckSoundDevice()
{
    // Without an output (the session may start before its sound server) the
    // run uses Beep, but the stored choice stays the user's.
    if (!TPlayer::HasOutputDevice()) {
        if (!m_beepForced) {
            m_userChoseWave = rbOptionsWave->isChecked();
            m_beepForced = true;
        }
        rbOptionsBeep->setChecked(true);
        rbOptionsWave->setChecked(false);
        rbOptionsWave->setEnabled(false);
    }
    rbSoundClick();
}

void TfmKaMain::SoundOutputsChanged(bool hasOutput)
{
    if (!hasOutput) {
        CheckSoundDevice();
        return;
    }
    if (!m_beepForced)
        return;
    m_beepForced = false;
    rbOptionsWave->setEnabled(true);
    if (m_userChoseWave)
        rbOptionsWave->setChecked(true);
    rbSoundClick();
}

void TfmKaMain::SetupFormStorage()
{
    TFormStorage &f = *FormStorage;
    // A stored flag: "True" or "False"; any other text leaves it as it is.
    const auto flag = [&f](const QString &name, std::function<bool()> get, std::function<void(bool)> set) {
        f.AddProperty(
            name, [get] { return TFormStorage::BoolText(get()); },
            [set](const QString &text) {
                bool value = false;
                if (!TFormStorage::ParseBool(text, value))
                    return false;
                set(value);
                return true;
            });
    };
    const auto check = [&flag](const QString &name, QAbstractButton *box) {
        flag(
            name + QStringLiteral(".Checked"), [box] { return box->isChecked(); },
            [box](bool value) { box->setChecked(value); });
    };
    const auto position = [&f](const QString &name, std::function<int()> get, std::function<void(int)> set, int minimum,
                               int maximum) {
        f.AddProperty(
            name + QStringLiteral(".Position"), [get] { return QString::number(get()); },
            [set, minimum, maximum](const QString &text) {
                // A number out of range is brought into it, as the control
                // itself does; a text that is no number keeps the default.
                bool ok = false;
                const int value = text.trimmed().toInt(&ok);
                if (!ok)
                    return false;
                set(std::clamp(value, minimum, maximum));
                return true;
            });
    };
    const auto upDown = [&position](const QString &name, TUpDown *control) {
        position(
            name, [control] { return control->position(); }, [control](int v) { control->setPosition(v); },
            control->minimum(), control->maximum());
    };
    const auto text = [&f](const QString &name, QLineEdit *edit) {
        f.AddProperty(
            name + QStringLiteral(".Text"), [edit] { return edit->text(); },
            [edit](const QString &value) {
                edit->setText(value);
                return true;
            });
    };

    check(QStringLiteral("cbxOptionsEnabled"), cbxOptionsEnabled);
    check(QStringLiteral("cbxOptionsConfirmEdit"), cbxOptionsConfirmEdit);
    check(QStringLiteral("cbxOptionsConfirmCancel"), cbxOptionsConfirmCancel);
    check(QStringLiteral("cbxOptionsManage"), cbxOptionsManage);
    // While Beep is forced for want of an output, the user's choice is kept.
    flag(
        QStringLiteral("rbOptionsBeep.Checked"),
        [this] { return m_beepForced ? !m_userChoseWave : rbOptionsBeep->isChecked(); },
        [this](bool value) { rbOptionsBeep->setChecked(value); });
    flag(
        QStringLiteral("rbOptionsWave.Checked"),
        [this] { return m_beepForced ? m_userChoseWave : rbOptionsWave->isChecked(); },
        [this](bool value) { rbOptionsWave->setChecked(value); });
    text(QStringLiteral("edtOptionsWave"), edtOptionsWave);
    position(
        QStringLiteral("edtOptionsWaveVol"), [this] { return edtOptionsWaveVol->value(); },
        [this](int v) { edtOptionsWaveVol->setValue(v); }, -2500, 0);
    check(QStringLiteral("cbxOptionsUseLogin"), cbxOptionsUseLogin);
    flag(
        QStringLiteral("dlgLogin.Active"), [this] { return dlgLogin->Active(); },
        [this](bool on) { dlgLogin->SetActive(on); });
    text(QStringLiteral("edtOptionsUser"), edtOptionsUser);
    upDown(QStringLiteral("edtOptionsCheckValue"), edtOptionsCheckValue);
    upDown(QStringLiteral("edtOptionsPurgeValue"), edtOptionsPurgeValue);
    upDown(QStringLiteral("edtOptionsRememberValue"), edtOptionsRememberValue);
    upDown(QStringLiteral("edtOptionsAutoRememberValue"), edtOptionsAutoRememberValue);
    check(QStringLiteral("cbxOptionsNoRememberOnPeriodic"), cbxOptionsNoRememberOnPeriodic);
    check(QStringLiteral("cbxOptionsStayOnTop"), cbxOptionsStayOnTop);
    upDown(QStringLiteral("edtOptionsReminderValue"), edtOptionsReminderValue);
    upDown(QStringLiteral("edtOptionsWebUpdateValue"), edtOptionsWebUpdateValue);
    for (QToolButton *b : {btnMenuCalendar, btnMenuList, btnMenuTrash, btnMenuOptions}) {
        flag(
            b->objectName() + QStringLiteral(".DownButton"), [b] { return b->property("DownButton").toBool(); },
            [b](bool down) { b->setProperty("DownButton", down); });
    }
    f.saveLeft = [this] { return QString::number(x()); };
    f.saveTop = [this] { return QString::number(y()); };
    f.restorePosition = [this](int left, int top) { move(PlaceOnScreen(QRect(QPoint(left, top), frameSize()))); };

    // Named values with their handlers.
    f.AddValue(
        QStringLiteral("Language"),
        [this] {
            const int language = std::max(0, lstOptionsLang->currentRow());
            ApplyLanguageLists();
            return QString::number(language);
        },
        [this](const QString &stored) {
            bool ok = false;
            int language = stored.trimmed().toInt(&ok);
            if (!ok || language < 0 || language > 1)
                language = 0;
            KaVar::SetLanguageIndex(language);
            const QSignalBlocker block(lstOptionsLang);
            lstOptionsLang->setCurrentRow(language);
            ApplyLanguageLists();
        });
    f.AddValue(
        QStringLiteral("Priority"), [this] { return QString::number(cbOptionsPriority->currentIndex()); },
        [this](const QString &stored) {
            bool ok = false;
            const int priority = stored.trimmed().toInt(&ok);
            if (ok && priority >= 0 && priority <= 2) {
                // The thread's priority itself changes with the next choice.
                const QSignalBlocker block(cbOptionsPriority);
                cbOptionsPriority->setCurrentIndex(priority);
            }
        });
    f.AddValue(
        QStringLiteral("Pwd"), [this] { return ScramblePassword(edtOptionsPwd->text()); },
        [this](const QString &stored) { edtOptionsPwd->setText(ScramblePassword(stored)); });
    // LastWebCheck is read and written on its own (ReadValue, WriteValue), when
    // the update check runs; saving the others leaves it as it is.
}

void TfmKaMain::SaveSettings()
{
    FormStorage->Save();
}

void TfmKaMain::RestoreSettings()
{
    FormStorage->Restore();
}

namespace {

const char *const MonthNames[2][12] = {
    {"January", "February", "March", "April", "May", "June", "July", "August", "September", "October", "November",
     "December"},
    {"Janvier", "F\u00e9vrier", "Mars", "Avril", "Mai", "Juin", "Juillet", "Ao\u00fbt", "Septembre", "Octobre",
     "Novembre", "D\u00e9cembre"},
};
const char *const DayLetters[2][7] = {{"s", "m", "t", "w", "t", "f", "s"}, {"d", "l", "m", "m", "j", "v", "s"}};

} // namespace

void TfmKaMain::ApplyLanguageLists()
{
    const int language = KaVar::LanguageIndex();
    // The month names and day letters of the program's date texts.
    zel::FormatSettings &formats = zel::Formats();
    formats.longMonthNames.clear();
    for (const char *name : MonthNames[language])
        formats.longMonthNames << QString::fromUtf8(name);
    formats.shortDayNames.clear();
    for (const char *letter : DayLetters[language])
        formats.shortDayNames << QString::fromUtf8(letter);
    const int period = cbEditPeriodicity->currentIndex();
    {
        const QScopedValueRollback<bool> loading(m_loadingEditor, true);
        cbEditPeriodicity->clear();
        for (const char *name : PeriodicityNames[language])
            cbEditPeriodicity->addItem(QString::fromUtf8(name));
        cbEditPeriodicity->setCurrentIndex(period);
    }
    QStringList priorities;
    for (const char *name : PriorityNames[language])
        priorities << QString::fromUtf8(name);
    rgpEditPriority->setItems(priorities);
    YearPlanner->setHeadings(formats.longMonthNames, formats.shortDayNames);
}
