// The sound player against a real sound server with a null sink: a file plays
// to its end, a quoted path plays, a lower volume is quieter on the sink,
// Stop cuts a sound at once, bad files fail without a message, and a sound
// that stands still goes on on a new player, then is ended.
#include "base/U_KA_Var.h"
#include "base/TPlayer.h"
#include "diag/ZelException.h"
#include "support/BaseSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMediaPlayer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <cmath>

namespace {

const QString Chime = QStringLiteral(ALMARIK_SOURCE_DIR "/share/Sound/Chime.wav");

// A steady tone made with sox.
QString Tone(const QTemporaryDir &dir, const QString &name, double seconds)
{
    const QString path = dir.filePath(name);
    QProcess sox;
    sox.start(QStringLiteral("sox"),
              {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"),
               QStringLiteral("1"), QStringLiteral("-b"), QStringLiteral("16"), path, QStringLiteral("synth"),
               QString::number(seconds), QStringLiteral("sine"), QStringLiteral("440"), QStringLiteral("vol"),
               QStringLiteral("0.5")});
    sox.waitForFinished(20000);
    return path;
}

// Records the null sink's monitor while a sound plays at a volume; the peak
// level of what was heard (the peak, unlike an average, does not depend on
// how much of the sound the recording caught). The event loop runs while the
// sound plays, as it does in the program.
double HeardLevel(const QString &file, int volume)
{
    QProcess recorder;
    recorder.start(QStringLiteral("parecord"), {QStringLiteral("--device=ci_null.monitor"), QStringLiteral("--raw"),
                                                QStringLiteral("--format=s16le"), QStringLiteral("--rate=44100"),
                                                QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=20")});
    if (!recorder.waitForStarted())
        return -1;
    // The recording runs once the monitor's silence comes in.
    QElapsedTimer clock;
    clock.start();
    while (recorder.bytesAvailable() == 0 && clock.elapsed() < 10000)
        QTest::qWait(20);
    QByteArray raw = recorder.readAll();
    if (!PlayWaveFile(file, volume))
        return -1;
    clock.start();
    while (KaVar::Player()->IsPlaying() && clock.elapsed() < 20000) {
        QTest::qWait(20);
        raw += recorder.readAll();
    }
    // The sound reaches the monitor a little after the player: on a loaded
    // machine it may come after the player says it ended.
    const auto heard = [&raw] {
        const auto *s = reinterpret_cast<const qint16 *>(raw.constData());
        return std::any_of(s, s + raw.size() / 2, [](qint16 v) { return v != 0; });
    };
    clock.start();
    while (!heard() && clock.elapsed() < 5000) {
        QTest::qWait(20);
        raw += recorder.readAll();
    }
    QTest::qWait(300);
    recorder.terminate();
    recorder.waitForFinished(5000);
    raw += recorder.readAll();
    const auto *samples = reinterpret_cast<const qint16 *>(raw.constData());
    int peak = 0;
    for (qsizetype i = 0; i < raw.size() / 2; ++i)
        peak = std::max(peak, std::abs(int(samples[i])));
    return peak;
}

// Suspends or resumes the null sink. A suspended sink takes no sound, so a
// sound played on it stands still as on a stalled media pipeline.
bool SuspendSink(bool suspend)
{
    return QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("suspend-sink"), QStringLiteral("ci_null"),
                                                       suspend ? QStringLiteral("1") : QStringLiteral("0")}) == 0;
}

} // namespace

class TestPlayer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        testsupport::InitProgramUnits();
        QVERIFY(TPlayer::HasOutputDevice());
    }

    void cleanup() { KaVar::Player()->Stop(); }

    void playsToItsEnd()
    {
        QVERIFY(PlayWaveFile(Chime, 0));
        QVERIFY(KaVar::Player()->IsPlaying());
        // 1.5 seconds of sound, then it stops by itself.
        QTRY_VERIFY_WITH_TIMEOUT(!KaVar::Player()->IsPlaying(), 10000);
    }

    void quotedPathPlays()
    {
        QVERIFY(PlayWaveFile(QLatin1Char('"') + Chime + QLatin1Char('"'), -300));
        QVERIFY(KaVar::Player()->IsPlaying());
    }

    void badFilesFailSilently()
    {
        QVERIFY(!PlayWaveFile(m_dir.filePath(QStringLiteral("missing.wav")), 0));
        const QString notSound = m_dir.filePath(QStringLiteral("notes.wav"));
        QFile file(notSound);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("these are words, not sound");
        file.close();
        QVERIFY(!PlayWaveFile(notSound, 0));
        QVERIFY(!KaVar::Player()->IsPlaying());
        QVERIFY_THROWS_EXCEPTION(Exception, KaVar::Player()->Open(notSound));
    }

    void stopCutsAtOnce()
    {
        const QString longTone = Tone(m_dir, QStringLiteral("long.wav"), 20);
        QVERIFY(PlayWaveFile(longTone, 0));
        QTest::qWait(300);
        QVERIFY(KaVar::Player()->IsPlaying());
        KaVar::Player()->Stop();
        QVERIFY(!KaVar::Player()->IsPlaying());
        KaVar::Player()->Stop(); // harmless when nothing plays
        // A new sound cuts the one before.
        QVERIFY(PlayWaveFile(longTone, 0));
        QVERIFY(PlayWaveFile(Chime, 0));
        QTRY_VERIFY_WITH_TIMEOUT(!KaVar::Player()->IsPlaying(), 10000);
    }

    // A sound that stands still goes on from there on a new player; if it
    // still stands still after the last restart it is ended, so a stalled
    // sound neither plays silently for ever nor holds the player.
    void stallIsTakenUpThenEnded_data()
    {
        QTest::addColumn<bool>("sinkComesBack");
        QTest::newRow("stall passes after a restart") << true;
        QTest::newRow("stall stays") << false;
    }

    void stallIsTakenUpThenEnded()
    {
        QFETCH(bool, sinkComesBack);
        // Long enough that the sound cannot end while it stands still.
        const QString tone = Tone(m_dir, QStringLiteral("stall.wav"), 6);
        const QRegularExpression restarted(QStringLiteral("^The sound stood still at \\d+ ms"));
        // Each take-up may take its full time to prepare and to get going.
        const int allRestarts = (TPlayer::MaxRestarts + 1) * 2 * TPlayer::WaitMs;
        const auto media = [] { return KaVar::Player()->findChild<QMediaPlayer *>(); };
        QVERIFY(PlayWaveFile(tone, 0));
        // The sound stops moving after its first second.
        QTRY_VERIFY_WITH_TIMEOUT(media()->position() >= 1000, 10000);
        QTest::ignoreMessage(QtWarningMsg, restarted);
        QVERIFY(SuspendSink(true));
        auto resume = qScopeGuard([] { SuspendSink(false); });
        QTRY_VERIFY_WITH_TIMEOUT(KaVar::Player()->Restarts() == 1, allRestarts);
        QVERIFY(KaVar::Player()->IsPlaying());
        if (sinkComesBack) {
            // The new player goes on where the sound stood, not from its
            // beginning, and plays it to its end.
            QVERIFY(SuspendSink(false));
            QTRY_VERIFY_WITH_TIMEOUT(media()->playbackState() == QMediaPlayer::PlayingState, TPlayer::WaitMs);
            QVERIFY2(media()->position() >= 1000, qPrintable(QString::number(media()->position())));
            QTRY_VERIFY_WITH_TIMEOUT(!KaVar::Player()->IsPlaying(), 15000);
            QCOMPARE(KaVar::Player()->Restarts(), 1);
        } else {
            QTest::ignoreMessage(QtWarningMsg, restarted);
            QTest::ignoreMessage(QtWarningMsg, "The sound stood still after 2 restarts; it is ended");
            QTRY_VERIFY_WITH_TIMEOUT(!KaVar::Player()->IsPlaying(), allRestarts);
            QCOMPARE(KaVar::Player()->Restarts(), TPlayer::MaxRestarts);
        }
        // The player is sound again for the next sound.
        resume.dismiss();
        QVERIFY(SuspendSink(false));
        QVERIFY(PlayWaveFile(Chime, 0));
        QTRY_VERIFY_WITH_TIMEOUT(!KaVar::Player()->IsPlaying(), 10000);
    }

    void lowerVolumeIsQuieter()
    {
        QCOMPARE(TPlayer::GainOf(0), 1.0);
        QVERIFY(std::abs(TPlayer::GainOf(-2000) - 0.1) < 1e-9);
        const QString tone = Tone(m_dir, QStringLiteral("tone.wav"), 1.0);
        const double full = HeardLevel(tone, 0);
        const double lower = HeardLevel(tone, -600);
        QVERIFY2(full > 5000, qPrintable(QString::number(full)));
        // -6 dB: half the level (10^(-600/2000) = 0.50), from the very start
        // of the sound (the peak would show a louder beginning).
        const double ratio = lower / full;
        QVERIFY2(ratio > 0.4 && ratio < 0.6, qPrintable(QStringLiteral("%1 vs %2").arg(lower).arg(full)));
    }
};

QTEST_MAIN(TestPlayer)
#include "tst_player.moc"
