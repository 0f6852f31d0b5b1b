#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QAudioOutput;
class QMediaPlayer;
class QTimer;
class QUrl;

// The program's one sound player. Every operation raises an exception with a
// message when it fails; starting a sound cuts the one before. A sound whose
// position stops moving while it plays (the media pipeline can stall without
// an error, leaving an alarm silent) goes on from where it stood on a new
// pipeline, twice at most; after that it is ended.
class TPlayer : public QObject
{
    Q_OBJECT

public:
    explicit TPlayer(QObject *parent = nullptr);
    ~TPlayer() override;

    // Stops any sound and prepares the file. Fails for a missing file, a file
    // without audio, an undecodable file, or when there is no audio output.
    void Open(const QString &fileName);
    // Output level in hundredths of a decibel, -2500 (25 dB quieter) to 0.
    void SetVolume(int level);
    // Starts playing; returns once the sound runs. It plays once to its end.
    void Play();
    // Stops and rewinds; harmless when nothing plays.
    void Stop();

    // Whether a sound is playing now (or is being taken up again after a
    // stall).
    bool IsPlaying() const;
    // How many times the sound now playing was restarted after a stall.
    int Restarts() const { return m_restarts; }
    // The linear gain of a level: 10^(level / 2000).
    static double GainOf(int level);
    // Whether the machine has an audio output device.
    static bool HasOutputDevice();

    // How long a playing sound that has moved may stand still before it
    // counts as stalled; one that has not moved yet gets WaitMs.
    static constexpr int StallMs = 2000;
    // How long opening, starting or taking up a sound may take.
    static constexpr int WaitMs = 5000;
    // How many restarts a stalled sound gets before it is ended.
    static constexpr int MaxRestarts = 2;

private:
    // Drops the media player and its output and makes new ones at the kept
    // level. Fails when there is no audio output device.
    void newPlayer();
    // Drops the media player and its output.
    void dropPlayer();
    // Looks at the position of the playing sound; takes up or ends a stall.
    void watch();
    // Starts watching the position of the sound as it is now.
    void watchFromHere();
    // Plays the stalled sound on from a position on a new player, or ends
    // it when it has had its restarts.
    void restartOrEnd(qint64 position);
    // Prepares a source; false when it neither loaded nor failed in time.
    bool load(const QUrl &source);

    QMediaPlayer *m_player = nullptr;
    QAudioOutput *m_output = nullptr;
    bool m_opened = false;
    // The output gain set by SetVolume, kept for a new player.
    float m_gain = 1.0F;
    QTimer *m_watch = nullptr;
    QElapsedTimer m_still;
    qint64 m_lastPosition = 0;
    bool m_moved = false;
    // Where a new player takes up a stalled sound once it has prepared the
    // file; -1 when no sound waits for that.
    qint64 m_resumeAt = -1;
    int m_restarts = 0;
};
