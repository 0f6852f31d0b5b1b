// Under the sound harness a sound server with a null sink is there.
#include <QAudioDevice>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QTest>

class TestEnvSound : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void nullSinkIsListed()
    {
        bool found = false;
        const QList<QAudioDevice> outputs = QMediaDevices::audioOutputs();
        for (const QAudioDevice &device : outputs)
            found = found || device.id().contains("ci_null");
        QVERIFY2(found, qPrintable(QStringLiteral("%1 outputs, none is the null sink").arg(outputs.size())));
    }
};

QTEST_GUILESS_MAIN(TestEnvSound)
#include "tst_env_sound.moc"
