// A due alarm fires in the running program on a real desktop: its box comes
// up at the bottom right of the work area with its sound playing, Enter
// postpones it and the data file then holds the postponed record. A session
// end while the box is open leaves the alarm as it was.
#include "support/Desktop.h"
#include "support/TestSupport.h"

#include "store/D_KA_Alarms.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRect>
#include <QSettings>
#include <QTest>

#include <algorithm>
#include <cstdlib>

using namespace testsupport;

namespace {

QString Run(const QStringList &command)
{
    return desktop::Run(command).output;
}

// The visible window with exactly this name, or an empty text.
QString FindWindow(const QString &name)
{
    return desktop::WindowsNamed(QStringLiteral("^") + name + QStringLiteral("$")).value(0);
}

// The outer rectangle of a top-level window: its own rectangle and the
// frame the window manager puts around it.
QRect Outer(const QString &window)
{
    const QStringList lines = Run({QStringLiteral("xwininfo"), QStringLiteral("-id"), window}).split(QLatin1Char('\n'));
    QRect r;
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        const int value = line.section(QLatin1Char(':'), 1).trimmed().toInt();
        if (line.startsWith(QLatin1String("Absolute upper-left X:")))
            r.moveLeft(value);
        else if (line.startsWith(QLatin1String("Absolute upper-left Y:")))
            r.moveTop(value);
        else if (line.startsWith(QLatin1String("Width:")))
            r.setWidth(value);
        else if (line.startsWith(QLatin1String("Height:")))
            r.setHeight(value);
    }
    // "_NET_FRAME_EXTENTS(CARDINAL) = left, right, top, bottom"
    const QStringList extents =
        Run({QStringLiteral("xprop"), QStringLiteral("-id"), window, QStringLiteral("_NET_FRAME_EXTENTS")})
            .section(QLatin1Char('='), 1)
            .split(QLatin1Char(','));
    if (extents.size() == 4)
        r.adjust(-extents[0].trimmed().toInt(), -extents[2].trimmed().toInt(), extents[1].trimmed().toInt(),
                 extents[3].trimmed().toInt());
    return r;
}

// The desktop's work area (the screen without the task bar).
QRect WorkArea()
{
    const QString text = Run({QStringLiteral("xprop"), QStringLiteral("-root"), QStringLiteral("_NET_WORKAREA")});
    const QStringList numbers = text.section(QLatin1Char('='), 1).split(QLatin1Char(','));
    if (numbers.size() < 4)
        return {};
    return QRect(numbers[0].trimmed().toInt(), numbers[1].trimmed().toInt(), numbers[2].trimmed().toInt(),
                 numbers[3].trimmed().toInt());
}

// Listens to the null sink: the loudest sample heard so far.
class Listener
{
public:
    Listener()
    {
        m_recorder.start(QStringLiteral("parecord"),
                         {QStringLiteral("--device=ci_null.monitor"), QStringLiteral("--raw"),
                          QStringLiteral("--format=s16le"), QStringLiteral("--rate=44100"),
                          QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=20")});
        m_recorder.waitForStarted();
        // Listening once the monitor's silence comes in.
        for (int waited = 0; m_recorder.bytesAvailable() == 0 && waited < 10000; waited += 50)
            m_recorder.waitForReadyRead(50);
        m_recorder.readAll();
    }
    ~Listener()
    {
        m_recorder.terminate();
        m_recorder.waitForFinished(5000);
    }
    int peak()
    {
        m_recorder.waitForReadyRead(20);
        m_raw += m_recorder.readAll();
        const auto *samples = reinterpret_cast<const qint16 *>(m_raw.constData());
        int top = 0;
        for (qsizetype i = 0; i < m_raw.size() / 2; ++i)
            top = std::max(top, std::abs(int(samples[i])));
        m_raw.clear();
        m_peak = std::max(m_peak, top);
        return m_peak;
    }
    void reset() { m_peak = 0; }

private:
    QProcess m_recorder;
    QByteArray m_raw;
    int m_peak = 0;
};

} // namespace

class TestDesktopAlarm : public QObject
{
    Q_OBJECT

    TDateTime m_due = 0;

    // A data file with one weekly alarm due a minute ago, and settings that
    // play the installed Alarm sound.
    void Prepare()
    {
        ClearDataDir();
        ClearSettings();
        {
            QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Morvane"),
                        QStringLiteral("Almarik"));
            s.beginGroup(QStringLiteral("KA2/MainForm"));
            const QString exeDir = QFileInfo(QStringLiteral(ALMARIK_STAGED_EXE)).absolutePath();
            s.setValue(QStringLiteral("edtOptionsWave_Text"),
                       QDir::cleanPath(exeDir + QStringLiteral("/../Sound/Alarm.wav")));
            s.setValue(QStringLiteral("rbOptionsWave_Checked"), QStringLiteral("True"));
            s.setValue(QStringLiteral("rbOptionsBeep_Checked"), QStringLiteral("False"));
            s.setValue(QStringLiteral("edtOptionsRememberValue_Position"), QStringLiteral("10"));
            s.endGroup();
            s.sync();
        }
        TdmKaAlarms dm;
        m_due = zel::RoundToMs(zel::Now() - zel::OneMinute);
        dm.cdsAlarms.appendRecord({1, m_due, QVariant(), 0, QStringLiteral("Desktop alarm"), 1, 1,
                                   QStringLiteral("Call back"), 1, 4, QString(), 0, 0});
    }

private Q_SLOTS:
    void initTestCase() { InitProgramUnits(); }

    void firesAndIsPostponed()
    {
        Prepare();
        Listener listener;
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(program.waitForStarted());

        // The box comes up on its own with the sound playing.
        QString box;
        QVERIFY(desktop::WaitUntil(
            [&box] { return !(box = FindWindow(QStringLiteral("Almarik 2 - Alarm"))).isEmpty(); }, 60000));
        QTRY_VERIFY_WITH_TIMEOUT(listener.peak() > 2000, 20000);
        // At the bottom right of the work area, 50 pixels from its edges.
        const QRect work = WorkArea();
        QVERIFY(work.isValid());
        QTRY_COMPARE_WITH_TIMEOUT(Outer(box).bottomRight(), work.bottomRight() - QPoint(50, 50), 20000);
        // Nothing happened to the alarm yet.
        QCOMPARE(ReadStoredAlarm(1).deleted, 0);

        // Enter in the minutes field: Remember.
        QVERIFY(desktop::Xdo({QStringLiteral("windowactivate"), QStringLiteral("--sync"), box}).ok());
        const TDateTime beforeAnswer = zel::Now();
        QVERIFY(desktop::Key({QStringLiteral("Return")}));
        QVERIFY(desktop::WaitUntil([] { return FindWindow(QStringLiteral("Almarik 2 - Alarm")).isEmpty(); }, 30000));

        // The fired record is postponed by 10 minutes from the moment it is
        // written (after the series' own saves) as a one-time alarm, and the
        // weekly series goes on in a new record.
        const TDateTime due = m_due;
        QVERIFY(desktop::WaitUntil([due] { return ReadStoredAlarm(1).date > due + zel::OneMinute; }, 20000));
        const TDateTime written = zel::Now();
        const StoredAlarm fired = ReadStoredAlarm(1);
        QCOMPARE(fired.deleted, 0);
        QCOMPARE(fired.period, 0);
        QVERIFY2(fired.date >= zel::RoundToMs(beforeAnswer + 10 * zel::OneMinute) &&
                     fired.date <= zel::RoundToMs(written + 10 * zel::OneMinute),
                 qPrintable(QStringLiteral("postponed to %1 s after the key, %2 s after the write")
                                .arg((fired.date - beforeAnswer) * 86400.0)
                                .arg((fired.date - written) * 86400.0)));
        const StoredAlarm next = ReadStoredAlarm(2);
        QVERIFY(next.exists);
        QCOMPARE(next.period, 4);
        QCOMPARE(next.date, zel::RoundToMs(m_due + 7));

        program.terminate();
        QVERIFY(program.waitForFinished(15000));
        QCOMPARE(program.exitCode(), 0);
    }

    // The session ends while the box is open: the program ends, the alarm
    // stays due and untouched.
    void sessionEndLeavesTheAlarm()
    {
        Prepare();
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(ALMARIK_STAGED_EXE), {});
        QVERIFY(program.waitForStarted());
        QVERIFY(desktop::WaitUntil([] { return !FindWindow(QStringLiteral("Almarik 2 - Alarm")).isEmpty(); }, 60000));
        program.terminate();
        QVERIFY(program.waitForFinished(15000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        const StoredAlarm alarm = ReadStoredAlarm(1);
        QCOMPARE(alarm.deleted, 0);
        QCOMPARE(alarm.period, 4);
        QCOMPARE(alarm.date, m_due);
        QVERIFY(!ReadStoredAlarm(2).exists);
    }
};

QTEST_GUILESS_MAIN(TestDesktopAlarm)
#include "tst_desktop_alarm.moc"
