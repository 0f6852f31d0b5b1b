#include "ui/ThreadTimer.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <chrono>

struct TThreadTimer::HandOver
{
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
};

TThreadTimer::TThreadTimer(QObject *context, QObject *parent) : QObject(parent), m_context(context)
{
    m_thread = QThread::create([this] { run(); });
    m_thread->setObjectName(QStringLiteral("TimerThread"));
    m_thread->start(m_priority);
}

TThreadTimer::~TThreadTimer()
{
    stop();
}

void TThreadTimer::setInterval(int milliseconds)
{
    m_interval = std::max(1, milliseconds);
    m_wake.notify_all();
}

void TThreadTimer::setEnabled(bool enabled)
{
    {
        std::lock_guard lock(m_mutex);
        m_enabled = enabled;
    }
    m_wake.notify_all();
}

void TThreadTimer::setPriority(QThread::Priority priority)
{
    m_priority = priority;
    if (m_thread && m_thread->isRunning())
        m_thread->setPriority(priority);
}

bool TThreadTimer::onWorkerThread() const
{
    return m_thread && QThread::currentThread() == m_thread;
}

void TThreadTimer::stop()
{
    if (!m_thread)
        return;
    std::shared_ptr<HandOver> waiting;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        waiting = m_handOver;
    }
    m_wake.notify_all();
    // A tick waiting for the main thread (which is here, stopping) gives up.
    if (waiting) {
        std::lock_guard lock(waiting->mutex);
        waiting->done.notify_all();
    }
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
}

void TThreadTimer::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (!m_enabled) {
            m_wake.wait(lock, [this] { return m_stopping || m_enabled; });
            continue;
        }
        // One interval from now (or from the end of the last tick); a change
        // of the enabled state or a stop wakes the thread early.
        const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_interval.load());
        if (m_wake.wait_until(lock, due, [this] { return m_stopping || !m_enabled; }))
            continue;
        lock.unlock();
        if (OnTimer)
            OnTimer();
        lock.lock();
    }
}

bool TThreadTimer::RunOnMain(const std::function<void()> &work)
{
    if (!onWorkerThread()) {
        work();
        return true;
    }
    // The hand-over: the main thread runs the work and signals the end; the
    // worker waits for that or for a stop, whichever comes first. The state
    // is shared so a late run after a stop touches nothing that is gone.
    auto handOver = std::make_shared<HandOver>();
    QObject *context = m_context;
    {
        std::lock_guard lock(m_mutex);
        if (!context || m_stopping)
            return false;
        m_handOver = handOver;
    }
    QMetaObject::invokeMethod(
        context,
        [handOver, work] {
            struct Finish
            {
                HandOver &h;
                ~Finish()
                {
                    {
                        std::lock_guard lock(h.mutex);
                        h.finished = true;
                    }
                    h.done.notify_all();
                }
            } finish{*handOver};
            work();
        },
        Qt::QueuedConnection);
    bool finished = false;
    {
        std::unique_lock lock(handOver->mutex);
        handOver->done.wait(lock, [&] { return handOver->finished || m_stopping; });
        finished = handOver->finished;
    }
    std::lock_guard lock(m_mutex);
    m_handOver.reset();
    return finished;
}
