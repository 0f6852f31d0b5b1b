#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

// The progress window of long table runs (imports, trash commands): a modeless
// window with an animation (a file copy or the emptying of the recycle bin),
// two status lines, a progress bar and a "Cancel" button. Closing it by any
// means marks the run as cancelled.
class TProgressWindow : public QDialog
{
    Q_OBJECT

public:
    explicit TProgressWindow(QWidget *parent = nullptr);

    // What the animation shows.
    enum class AnimationKind { FileCopy, EmptyRecycleBin };

    void setCaption(const QString &caption);
    void setAnimation(AnimationKind kind);
    AnimationKind animation() const;
    void setMaximum(int maximum);
    int maximum() const;
    int position() const;
    // Pause after each update, in milliseconds.
    void setTempo(int ms) { m_tempo = ms; }
    int tempo() const { return m_tempo; }
    QString statusLine1() const;
    QString statusLine2() const;

    // Shows the window for a new run.
    void start();
    // Processes pending window messages, then, while the window is open, sets
    // the bar and the two status lines and pauses for the tempo; when the bar
    // reaches its maximum it pauses once more and closes the window. Returns
    // false when the window was closed (the run is cancelled).
    bool update(int position, const QString &line1, const QString &line2);
    bool cancelled() const { return m_cancelled; }

    // Test seam: while set, every pause calls the hook with the window and
    // the length of the pause instead of waiting on the clock.
    using PauseHook = std::function<void(TProgressWindow *, int)>;
    static void SetPauseHook(PauseHook hook);

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void pause(int ms);

    class Animation;
    Animation *m_animation;
    QLabel *m_line1;
    QLabel *m_line2;
    QProgressBar *m_bar;
    QPushButton *m_cancel;
    int m_tempo = 0;
    bool m_cancelled = false;
    bool m_running = false;
};
