#include "base/TPlayer.h"

#include "diag/ZelException.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QEventLoop>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>

#include <cmath>

namespace {

// How long opening or starting a sound may take before it counts as failed.
constexpr int WaitMs = 5000;

// Runs the event loop until the condition holds or the time is up. The
// condition is looked at again whenever the player reports a change of its
// media status, playback state or error, never by polling.
template <typename Condition>
bool WaitFor(QMediaPlayer *player, Condition condition, int timeout)
{
    if (condition())
        return true;
    QEventLoop loop;
    const auto check = [&loop, &condition] {
        if (condition())
            loop.quit();
    };
    const QMetaObject::Connection c1 = QObject::connect(player, &QMediaPlayer::mediaStatusChanged, &loop, check);
    const QMetaObject::Connection c2 = QObject::connect(player, &QMediaPlayer::playbackStateChanged, &loop, check);
    const QMetaObject::Connection c3 = QObject::connect(player, &QMediaPlayer::errorOccurred, &loop, check);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(timeout);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    QObject::disconnect(c1);
    QObject::disconnect(c2);
    QObject::disconnect(c3);
    return condition();
}

} // namespace

TPlayer::TPlayer(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("Player"));
}

TPlayer::~TPlayer()
{
    if (m_player)
        m_player->stop();
}

bool TPlayer::HasOutputDevice()
{
    return !QMediaDevices::audioOutputs().isEmpty();
}

double TPlayer::GainOf(int level)
{
    return std::pow(10.0, double(level) / 2000.0);
}

void TPlayer::ensurePlayer()
{
    // The media backends must not be reached without an output device.
    if (!HasOutputDevice())
        throw Exception(QStringLiteral("No audio output device"));
    if (m_player && m_player->error() != QMediaPlayer::NoError) {
        // A player that failed keeps its error: start again with a new one.
        delete m_player;
        delete m_output;
        m_player = nullptr;
        m_output = nullptr;
    }
    if (!m_player) {
        m_player = new QMediaPlayer(this);
        m_output = new QAudioOutput(this);
        m_player->setAudioOutput(m_output);
    }
    m_output->setDevice(QMediaDevices::defaultAudioOutput());
}

bool TPlayer::load(const QUrl &source)
{
    m_player->setSource(QUrl());
    m_player->setSource(source);
    return WaitFor(
        m_player,
        [this] {
            const QMediaPlayer::MediaStatus s = m_player->mediaStatus();
            return s == QMediaPlayer::LoadedMedia || s == QMediaPlayer::InvalidMedia ||
                   m_player->error() != QMediaPlayer::NoError;
        },
        WaitMs);
}

void TPlayer::Open(const QString &fileName)
{
    Stop();
    m_opened = false;
    const QFileInfo info(fileName);
    if (!info.isFile())
        throw Exception(QStringLiteral("Sound file not found: %1").arg(fileName));
    if (!info.isReadable())
        throw Exception(QStringLiteral("Sound file cannot be read: %1").arg(fileName));
    ensurePlayer();
    const bool settled = load(QUrl::fromLocalFile(info.absoluteFilePath()));
    if (m_player->error() != QMediaPlayer::NoError || m_player->mediaStatus() == QMediaPlayer::InvalidMedia) {
        const QString reason = m_player->errorString();
        m_player->setSource(QUrl());
        throw Exception(QStringLiteral("Cannot play %1: %2")
                            .arg(fileName, reason.isEmpty() ? QStringLiteral("unknown format") : reason));
    }
    if (!settled)
        throw Exception(QStringLiteral("Cannot play %1: the file does not open").arg(fileName));
    if (!m_player->hasAudio()) {
        m_player->setSource(QUrl());
        throw Exception(QStringLiteral("Cannot play %1: no audio in the file").arg(fileName));
    }
    m_opened = true;
}

void TPlayer::SetVolume(int level)
{
    if (!m_opened)
        throw Exception(QStringLiteral("No sound file is open"));
    const float gain = float(GainOf(std::clamp(level, -2500, 0)));
    if (qFuzzyCompare(m_output->volume(), gain))
        return;
    m_output->setVolume(gain);
    // A prepared file has its first part already through the volume stage:
    // prepare it again, so the sound starts at the new level.
    const bool settled = load(m_player->source());
    if (!settled || m_player->error() != QMediaPlayer::NoError)
        throw Exception(QStringLiteral("Cannot set the volume: %1").arg(m_player->errorString()));
}

void TPlayer::Play()
{
    if (!m_opened)
        throw Exception(QStringLiteral("No sound file is open"));
    m_player->setPosition(0);
    m_player->play();
    const bool running = WaitFor(
        m_player,
        [this] {
            return m_player->playbackState() == QMediaPlayer::PlayingState ||
                   m_player->error() != QMediaPlayer::NoError;
        },
        WaitMs);
    if (!running || m_player->error() != QMediaPlayer::NoError)
        throw Exception(QStringLiteral("Cannot play the sound: %1").arg(m_player->errorString()));
}

void TPlayer::Stop()
{
    if (m_player && m_player->playbackState() != QMediaPlayer::StoppedState)
        m_player->stop();
}

bool TPlayer::IsPlaying() const
{
    return m_player && m_player->playbackState() == QMediaPlayer::PlayingState;
}
