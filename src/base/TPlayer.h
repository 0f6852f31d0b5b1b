#pragma once

#include <QObject>
#include <QString>

class QAudioOutput;
class QMediaPlayer;
class QUrl;

// The program's one sound player. Every operation raises an exception with a
// message when it fails; starting a sound cuts the one before.
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

    // Whether a sound is playing now.
    bool IsPlaying() const;
    // The linear gain of a level: 10^(level / 2000).
    static double GainOf(int level);
    // Whether the machine has an audio output device.
    static bool HasOutputDevice();

private:
    void ensurePlayer();
    // Prepares a source; false when it neither loaded nor failed in time.
    bool load(const QUrl &source);

    QMediaPlayer *m_player = nullptr;
    QAudioOutput *m_output = nullptr;
    bool m_opened = false;
};
