#pragma once

#include <QObject>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// A timer that runs its own worker thread: every interval, while enabled, the
// thread calls OnTimer. The handler can hand work to the main thread and wait
// for it (RunOnMain), so ticks never overlap: the next wait starts once the
// handler has returned. Stopping never deadlocks, even while a tick waits for
// the main thread.
class TThreadTimer : public QObject
{
    Q_OBJECT

public:
    // context: the main-thread object the handed-over work runs with (work
    // still queued when it is destroyed is dropped).
    explicit TThreadTimer(QObject *context, QObject *parent = nullptr);
    ~TThreadTimer() override;

    // Interval in milliseconds (1000 by default).
    void setInterval(int milliseconds);
    int interval() const { return m_interval; }
    // A disabled timer keeps its thread asleep.
    void setEnabled(bool enabled);
    bool enabled() const { return m_enabled; }
    // The worker thread's priority.
    void setPriority(QThread::Priority priority);
    QThread::Priority priority() const { return m_priority; }

    // Called on the worker thread at each tick.
    std::function<void()> OnTimer;

    // Runs the work on the main thread and waits until it has finished; on
    // the main thread it is a direct call. False when the timer stopped
    // before the work could run.
    bool RunOnMain(const std::function<void()> &work);

    // Stops the worker thread (the destructor does it too).
    void stop();
    // Whether the calling thread is the worker thread.
    bool onWorkerThread() const;

private:
    void run();

    QPointer<QObject> m_context;
    std::atomic<int> m_interval{1000};
    std::atomic<bool> m_enabled{false};
    std::atomic<bool> m_stopping{false};
    QThread::Priority m_priority = QThread::NormalPriority;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    QThread *m_thread = nullptr;
    // The hand-over to the main thread the worker waits for, if any.
    struct HandOver;
    std::shared_ptr<HandOver> m_handOver;
};
