#include "base/ProgressWindow.h"

#include <QCloseEvent>
#include <cmath>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

// A sheet of paper flying from one folder to another (a copy), or sheets
// falling from a folder into a bin that is being emptied, while the run goes on.
class TProgressWindow::Animation : public QWidget
{
public:
    explicit Animation(QWidget *parent) : QWidget(parent), m_timer(new QTimer(this))
    {
        setFixedSize(272, 60);
        m_timer->setInterval(50);
        connect(m_timer, &QTimer::timeout, this, [this] {
            m_step = (m_step + 1) % Steps;
            QWidget::update();
        });
    }

    AnimationKind kind = AnimationKind::FileCopy;

    void run(bool on)
    {
        if (on)
            m_timer->start();
        else
            m_timer->stop();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        drawFolder(p, QRectF(8, 18, 44, 34));
        const double t = double(m_step) / double(Steps - 1);
        if (kind == AnimationKind::EmptyRecycleBin) {
            drawBin(p, QRectF(width() - 50, 14, 36, 42));
            // The sheet shrinks as it falls into the bin.
            const double x = 40 + t * (width() - 96);
            const double y = 20 - 16 * std::sin(t * 3.14159265) + 10 * t;
            const double scale = 1.0 - 0.6 * t;
            p.setPen(QPen(QColor(90, 90, 90), 1));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(x, y, 18 * scale, 24 * scale));
            return;
        }
        drawFolder(p, QRectF(width() - 52, 18, 44, 34));
        const double x = 40 + t * (width() - 100);
        const double y = 22 - 18 * std::sin(t * 3.14159265);
        p.setPen(QPen(QColor(90, 90, 90), 1));
        p.setBrush(Qt::white);
        const QRectF sheet(x, y, 18, 24);
        p.drawRect(sheet);
        for (int i = 0; i < 4; ++i)
            p.drawLine(QPointF(x + 3, y + 5 + 4 * i), QPointF(x + 15, y + 5 + 4 * i));
    }

private:
    static void drawFolder(QPainter &p, const QRectF &r)
    {
        p.setPen(QPen(QColor(150, 110, 20), 1));
        p.setBrush(QColor(240, 200, 90));
        p.drawRect(QRectF(r.left(), r.top() - 5, r.width() * 0.4, 6));
        p.drawRect(r);
    }

    static void drawBin(QPainter &p, const QRectF &r)
    {
        p.setPen(QPen(QColor(70, 90, 110), 1));
        p.setBrush(QColor(190, 210, 230));
        // Lid, then the body narrowing to the bottom, with its ribs.
        p.drawRect(QRectF(r.left() - 3, r.top(), r.width() + 6, 4));
        const QPolygonF body({QPointF(r.left(), r.top() + 6), QPointF(r.right(), r.top() + 6),
                              QPointF(r.right() - 5, r.bottom()), QPointF(r.left() + 5, r.bottom())});
        p.drawPolygon(body);
        for (int i = 1; i < 4; ++i) {
            const double x = r.left() + i * r.width() / 4;
            p.drawLine(QPointF(x, r.top() + 10), QPointF(x + (x < r.center().x() ? 2 : -2), r.bottom() - 4));
        }
    }

    static constexpr int Steps = 24;
    QTimer *m_timer;
    int m_step = 0;
};

TProgressWindow::TProgressWindow(QWidget *parent)
    : QDialog(parent), m_animation(new Animation(this)), m_line1(new QLabel(this)), m_line2(new QLabel(this)),
      m_bar(new QProgressBar(this)), m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setObjectName(QStringLiteral("ProgressDialog"));
    setModal(false);
    setWindowTitle(QStringLiteral("Processing..."));
    m_line1->setObjectName(QStringLiteral("lbStatus1"));
    m_line2->setObjectName(QStringLiteral("lbStatus2"));
    m_bar->setObjectName(QStringLiteral("pbProgress"));
    m_cancel->setObjectName(QStringLiteral("btnCancel"));
    m_bar->setTextVisible(false);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_animation, 0, Qt::AlignHCenter);
    layout->addWidget(m_line1);
    layout->addWidget(m_line2);
    layout->addWidget(m_bar);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(m_cancel, &QPushButton::clicked, this, &TProgressWindow::close);
    setFixedWidth(320);
}

void TProgressWindow::setCaption(const QString &caption)
{
    setWindowTitle(caption);
}

void TProgressWindow::setAnimation(AnimationKind kind)
{
    m_animation->kind = kind;
    m_animation->update();
}

TProgressWindow::AnimationKind TProgressWindow::animation() const
{
    return m_animation->kind;
}

void TProgressWindow::setMaximum(int maximum)
{
    m_bar->setRange(0, std::max(0, maximum));
}

int TProgressWindow::maximum() const
{
    return m_bar->maximum();
}

int TProgressWindow::position() const
{
    return m_bar->value();
}

QString TProgressWindow::statusLine1() const
{
    return m_line1->text();
}

QString TProgressWindow::statusLine2() const
{
    return m_line2->text();
}

void TProgressWindow::start()
{
    m_cancelled = false;
    m_running = true;
    m_bar->setValue(0);
    m_line1->clear();
    m_line2->clear();
    m_animation->run(true);
    show();
    raise();
}

namespace {

TProgressWindow::PauseHook &Hook()
{
    static TProgressWindow::PauseHook hook;
    return hook;
}

} // namespace

void TProgressWindow::SetPauseHook(PauseHook hook)
{
    Hook() = std::move(hook);
}

void TProgressWindow::pause(int ms)
{
    if (ms <= 0)
        return;
    if (const PauseHook &hook = Hook()) {
        QCoreApplication::processEvents();
        hook(this, ms);
        return;
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, int(ms - timer.elapsed()));
        if (timer.elapsed() < ms)
            QThread::msleep(std::min<qint64>(5, ms - timer.elapsed()));
    }
}

bool TProgressWindow::update(int position, const QString &line1, const QString &line2)
{
    QCoreApplication::processEvents();
    if (!isVisible() || m_cancelled)
        return false;
    m_bar->setValue(std::min(position, m_bar->maximum()));
    m_line1->setText(line1);
    m_line2->setText(line2);
    pause(m_tempo);
    if (position >= m_bar->maximum()) {
        pause(m_tempo);
        m_running = false;
        m_animation->run(false);
        hide();
    }
    return !m_cancelled;
}

void TProgressWindow::closeEvent(QCloseEvent *event)
{
    if (m_running)
        m_cancelled = true;
    m_running = false;
    m_animation->run(false);
    QDialog::closeEvent(event);
}

void TProgressWindow::reject()
{
    if (m_running)
        m_cancelled = true;
    m_running = false;
    m_animation->run(false);
    QDialog::reject();
}
