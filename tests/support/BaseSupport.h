#pragma once

#include <QDateTime>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// Seams and helpers for tests of the shared unit and everything above it.
namespace testsupport {

// Initialises the program's shared unit as the program does at start (time
// formats, data folder). Tests run in a temporary HOME (run-isolated).
void InitProgramUnits();

// The per-user data folder and the data file of this test run.
QString DataDir();
QString DataFile();
// Removes every file of the data folder.
void ClearDataDir();
// Removes every stored setting of the program.
void ClearSettings();
// The bytes of a file (empty when it cannot be read).
QByteArray FileBytes(const QString &fileName);

// Captures the texts shown by ShowErrorText while alive.
class ErrorTexts
{
public:
    ErrorTexts();
    ~ErrorTexts();
    QStringList texts;
};

// Captures the messages of failed commands (the error box) while alive.
struct CommandErrors
{
    CommandErrors();
    ~CommandErrors();
    QStringList texts;
};

// Sets the program's clock to a fixed local time while alive.
class FixedClock
{
public:
    explicit FixedClock(const QDateTime &now);
    ~FixedClock();
    void set(const QDateTime &now);

private:
    QDateTime m_now;
};

// A web server on 127.0.0.1 (python's http.server) serving the files of a
// folder of its own; the query of an address is ignored. It binds a port of
// the system's choice and says which, so no other process can take the port
// between a probe and the start. Stopped by its process id with the object.
class LocalWebServer
{
public:
    LocalWebServer();
    ~LocalWebServer();
    // False when the server did not start.
    bool start();
    quint16 port() const { return m_port; }
    // The address of a path on the server ("http://127.0.0.1:port/path").
    QString url(const QString &path = QString()) const;
    // Writes or removes a file of the served folder.
    bool put(const QString &name, const QByteArray &bytes);
    bool remove(const QString &name);
    QString folder() const { return m_root.path(); }

private:
    QTemporaryDir m_root;
    QProcess m_server;
    quint16 m_port = 0;
};

// A port of 127.0.0.1 on which nothing listens.
quint16 ClosedPort();

} // namespace testsupport
