#include "support/BaseSupport.h"

#include "base/U_KA_Var.h"
#include "diag/U_ZEL_System.h"
#include "diag/U_ZEL_Utilities.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>

namespace testsupport {

void InitProgramUnits()
{
    if (!qEnvironmentVariableIsSet("ALMARIK_TEST_ROOT"))
        qFatal("tests must run through run-isolated (temporary HOME and XDG folders)");
    ZelSystemInitialize();
    KaVar::Initialize();
}

QString DataDir()
{
    return KaVar::UserDataDir();
}

QString DataFile()
{
    return DataDir() + QStringLiteral("Alarms.ka2");
}

void ClearDataDir()
{
    QDir dir(DataDir());
    const QStringList files = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : files)
        dir.remove(name);
}

void ClearSettings()
{
    QSettings settings(QStringLiteral("Morvane"), QStringLiteral("Almarik"));
    settings.clear();
    settings.sync();
}

QByteArray FileBytes(const QString &fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ErrorTexts::ErrorTexts()
{
    SetShowErrorTextHook([this](const QString &text) { texts.append(text); });
}

ErrorTexts::~ErrorTexts()
{
    SetShowErrorTextHook({});
}

CommandErrors::CommandErrors()
{
    SetErrorBoxHook([this](const QString &text) { texts << text; });
}

CommandErrors::~CommandErrors()
{
    SetErrorBoxHook({});
}

FixedClock::FixedClock(const QDateTime &now) : m_now(now)
{
    zel::SetClock([this] { return m_now; });
}

FixedClock::~FixedClock()
{
    zel::SetClock({});
}

void FixedClock::set(const QDateTime &now)
{
    m_now = now;
}

LocalWebServer::LocalWebServer() = default;

LocalWebServer::~LocalWebServer()
{
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(5000)) {
            m_server.kill();
            m_server.waitForFinished(5000);
        }
    }
}

bool LocalWebServer::start()
{
    m_server.setWorkingDirectory(m_root.path());
    m_server.setProcessChannelMode(QProcess::SeparateChannels);
    m_server.start(QStandardPaths::findExecutable(QStringLiteral("python3")),
                   {QStringLiteral("-u"), QStringLiteral("-c"),
                    QStringLiteral("import http.server\n"
                                   "s = http.server.ThreadingHTTPServer(('127.0.0.1', 0), "
                                   "http.server.SimpleHTTPRequestHandler)\n"
                                   "print(s.server_address[1], flush=True)\n"
                                   "s.serve_forever()\n")});
    if (!m_server.waitForStarted())
        return false;
    const QDeadlineTimer deadline(15000);
    while (!m_server.canReadLine() && !deadline.hasExpired())
        m_server.waitForReadyRead(100);
    m_port = quint16(QString::fromLatin1(m_server.readLine()).trimmed().toUInt());
    return m_port != 0;
}

QString LocalWebServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_port).arg(path);
}

bool LocalWebServer::put(const QString &name, const QByteArray &bytes)
{
    QFile file(m_root.filePath(name));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool LocalWebServer::remove(const QString &name)
{
    return QFile::remove(m_root.filePath(name)) || !QFile::exists(m_root.filePath(name));
}

quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace testsupport
