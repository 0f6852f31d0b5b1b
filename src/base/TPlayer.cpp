#include "base/TPlayer.h"

#include "diag/ZelException.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QEventLoop>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {

// How often the position of a playing sound is looked at.
constexpr int WatchMs = 250;
// A sound standing this close to its end counts as played to its end.
constexpr qint64 EndMarginMs = 50;

// Runs the event loop until the condition holds or the time is up. The
// condition is looked at again whenever the player reports a change of its
// media status, playback state or error, never by polling. Fails when the
// player is destroyed meanwhile (another sound took its place).
template <typename Condition>
bool WaitFor(QMediaPlayer *player, Condition condition, int timeout)
{
    if (condition())
        return true;
    const QPointer<QMediaPlayer> alive(player);
    QEventLoop loop;
    const auto check = [&loop, &condition] {
        if (condition())
            loop.quit();
    };
    QObject::connect(player, &QObject::destroyed, &loop, &QEventLoop::quit);
    const QMetaObject::Connection c1 = QObject::connect(player, &QMediaPlayer::mediaStatusChanged, &loop, check);
    const QMetaObject::Connection c2 = QObject::connect(player, &QMediaPlayer::playbackStateChanged, &loop, check);
    const QMetaObject::Connection c3 = QObject::connect(player, &QMediaPlayer::errorOccurred, &loop, check);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(timeout);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!alive)
        return false;
    QObject::disconnect(c1);
    QObject::disconnect(c2);
    QObject::disconnect(c3);
    return condition();
}

// Raises when the player waited on is no longer the one in use.
void CheckStillCurrent(const QPointer<QMediaPlayer> &waited, const QMediaPlayer *current)
{
    if (!waited || waited != current)
        throw Exception(QStringLiteral("Another sound took the place of this one"));
}

} // namespace

TPlayer::TPlayer(QObject *parent) : QObject(parent), m_watch(new QTimer(this))
{
    setObjectName(QStringLiteral("Player"));
    m_watch->setInterval(WatchMs);
    connect(m_watch, &QTimer::timeout, this, &TPlayer::watch);
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

void TPlayer::newPlayer()
{
    dropPlayer();
    // The media backends must not be reached without an output device.
    if (!HasOutputDevice())
        throw Exception(QStringLiteral("No audio output device"));
    m_player = new QMediaPlayer(this);
    m_output = new QAudioOutput(QMediaDevices::defaultAudioOutput(), this);
    // The level is set before the file is prepared, so the sound starts at it.
    m_output->setVolume(m_gain);
    m_player->setAudioOutput(m_output);
}

void TPlayer::dropPlayer()
{
    delete m_player;
    delete m_output;
    m_player = nullptr;
    m_output = nullptr;
}

bool TPlayer::load(const QUrl &source)
{
    QMediaPlayer *player = m_player;
    const QPointer<QMediaPlayer> waited(player);
    player->setSource(source);
    const bool settled = WaitFor(
        player,
        [player] {
            const QMediaPlayer::MediaStatus s = player->mediaStatus();
            return s == QMediaPlayer::LoadedMedia || s == QMediaPlayer::InvalidMedia ||
                   player->error() != QMediaPlayer::NoError;
        },
        WaitMs);
    CheckStillCurrent(waited, m_player);
    return settled;
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
    // Every sound gets a new player: a media pipeline used for one file and
    // then loaded with another can stall without an error.
    newPlayer();
    const bool settled = load(QUrl::fromLocalFile(info.absoluteFilePath()));
    if (m_player->error() != QMediaPlayer::NoError || m_player->mediaStatus() == QMediaPlayer::InvalidMedia) {
        const QString reason = m_player->errorString();
        dropPlayer();
        throw Exception(QStringLiteral("Cannot play %1: %2")
                            .arg(fileName, reason.isEmpty() ? QStringLiteral("unknown format") : reason));
    }
    if (!settled) {
        dropPlayer();
        throw Exception(QStringLiteral("Cannot play %1: the file does not open").arg(fileName));
    }
    if (!m_player->hasAudio()) {
        dropPlayer();
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
    m_gain = gain;
    // A prepared file has its first part already through the volume stage:
    // prepare it again on a new player set to the new level, so the sound
    // starts at it.
    const QUrl source = m_player->source();
    m_opened = false;
    Stop();
    newPlayer();
    const bool settled = load(source);
    if (!settled || m_player->error() != QMediaPlayer::NoError) {
        const QString reason = m_player->errorString();
        dropPlayer();
        throw Exception(QStringLiteral("Cannot set the volume: %1").arg(reason));
    }
    m_opened = true;
}

void TPlayer::Play()
{
    if (!m_opened)
        throw Exception(QStringLiteral("No sound file is open"));
    Stop();
    QMediaPlayer *player = m_player;
    const QPointer<QMediaPlayer> waited(player);
    player->setPosition(0);
    player->play();
    const bool running = WaitFor(
        player,
        [player] {
            return player->playbackState() == QMediaPlayer::PlayingState || player->error() != QMediaPlayer::NoError;
        },
        WaitMs);
    CheckStillCurrent(waited, m_player);
    if (!running || player->error() != QMediaPlayer::NoError)
        throw Exception(QStringLiteral("Cannot play the sound: %1").arg(player->errorString()));
    m_restarts = 0;
    watchFromHere();
    m_watch->start();
}

void TPlayer::Stop()
{
    m_watch->stop();
    m_resumeAt = -1;
    if (m_player && m_player->playbackState() != QMediaPlayer::StoppedState)
        m_player->stop();
}

void TPlayer::watchFromHere()
{
    m_lastPosition = m_player->position();
    m_moved = false;
    m_still.start();
}

void TPlayer::watch()
{
    if (!m_player) {
        m_watch->stop();
        return;
    }
    if (m_resumeAt >= 0) {
        // A new player prepares the sound; it goes on where the old one stood.
        const QMediaPlayer::MediaStatus status = m_player->mediaStatus();
        if (m_player->error() != QMediaPlayer::NoError || status == QMediaPlayer::InvalidMedia) {
            qWarning("The sound does not open again: %s", qPrintable(m_player->errorString()));
            Stop();
            return;
        }
        if (status == QMediaPlayer::LoadedMedia) {
            const qint64 resumeAt = m_resumeAt;
            if (resumeAt > 0) {
                if (!m_player->isSeekable())
                    qWarning("The sound cannot go on at %lld ms; it starts again from its beginning", resumeAt);
                m_player->setPosition(resumeAt);
            }
            m_player->play();
            m_resumeAt = -1;
            watchFromHere();
            // A late report of the position before the seek is no movement.
            m_lastPosition = std::max<qint64>(resumeAt, 0);
            return;
        }
        if (m_still.elapsed() >= WaitMs)
            restartOrEnd(m_resumeAt);
        return;
    }
    if (!IsPlaying()) {
        m_watch->stop();
        return;
    }
    const qint64 position = m_player->position();
    if (position > m_lastPosition) {
        m_lastPosition = position;
        m_moved = true;
        m_still.start();
        return;
    }
    // A sound may take a while to get going on a loaded machine; once it
    // has moved, standing still for a short time is a stall.
    if (m_still.elapsed() < (m_moved ? StallMs : WaitMs))
        return;
    // A sound standing at its end has played; only the news of its end was
    // lost on the way.
    const qint64 stoodAt = std::max(position, m_lastPosition);
    const qint64 duration = m_player->duration();
    if (duration > 0 && stoodAt >= duration - EndMarginMs) {
        Stop();
        return;
    }
    restartOrEnd(stoodAt);
}

void TPlayer::restartOrEnd(qint64 position)
{
    if (m_restarts >= MaxRestarts) {
        qWarning("The sound stood still after %d restarts; it is ended", m_restarts);
        Stop();
        return;
    }
    ++m_restarts;
    qWarning("The sound stood still at %lld ms; it goes on from there on a new player", position);
    // The stalled pipeline does not recover by itself, not even when the same
    // player loads the file again: a new player builds a new one.
    const QUrl source = m_player->source();
    try {
        newPlayer();
    } catch (const Exception &) {
        // The output device went away: there is nothing to play on.
        m_opened = false;
        Stop();
        return;
    }
    m_player->setSource(source);
    m_resumeAt = position;
    m_still.start();
}

bool TPlayer::IsPlaying() const
{
    return m_player && (m_resumeAt >= 0 || m_player->playbackState() == QMediaPlayer::PlayingState);
}
