// The program's presence on a desktop without a notification area: the wait
// for a tray at start, the window shown instead, a tray that appears later,
// and the local socket through which a second copy brings the window to the
// front.
#include "app/TrayPresence.h"

#include "base/U_KA_Var.h"
#include "ui/F_KA_Main.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QSystemTrayIcon>

namespace {

// What a second copy sends, and what the running copy answers once its
// window is in front.
constexpr char FrontRequest[] = "front\n";
constexpr char FrontDone[] = "done\n";

} // namespace

QString InstanceSocketName()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    // A socket's path is short (about a hundred bytes): the data folder
    // enters the name as a digest.
    const QByteArray digest =
        QCryptographicHash::hash(KaVar::UserDataDir().toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return folder + QStringLiteral("/almarik-") + QString::fromLatin1(digest) + QStringLiteral(".socket");
}

bool BringRunningCopyToFront(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(InstanceSocketName());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(FrontRequest);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // The answer comes once the window is in front.
    QByteArray answer;
    while (!answer.endsWith('\n') && answer.size() < 16) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(timeoutMs))
            break;
        answer += socket.read(16 - answer.size());
    }
    return answer == FrontDone;
}

TTrayPresence::TTrayPresence(TfmKaMain *window, QObject *parent)
    : QObject(parent), TrayAvailable([] { return QSystemTrayIcon::isSystemTrayAvailable(); }), m_window(window)
{
    connect(&m_look, &QTimer::timeout, this, [this] { Look(); });
    m_waitEnd.setSingleShot(true);
    connect(&m_waitEnd, &QTimer::timeout, this, [this] {
        m_waiting = false;
        if (!TrayAvailable())
            EnterWithoutTray();
        else
            Look();
    });
}

TTrayPresence::~TTrayPresence()
{
    if (m_server)
        m_server->close();
}

void TTrayPresence::Start(int waitMs)
{
    if (TrayAvailable())
        return;
    m_waiting = true;
    m_look.start(WaitLookMs);
    m_waitEnd.start(waitMs);
}

void TTrayPresence::Look()
{
    if (!m_window || m_window->Closing || !TrayAvailable())
        return;
    // A tray is there: its icon shows (shown again, since there was nothing
    // to show it in), and the window behaves as with a tray.
    m_look.stop();
    m_waitEnd.stop();
    m_waiting = false;
    m_window->SysTray->hide();
    m_window->SysTray->show();
    if (m_withoutTray)
        LeaveWithoutTray();
    Q_EMIT trayAppeared();
}

void TTrayPresence::EnterWithoutTray()
{
    if (!m_window || m_window->Closing)
        return;
    m_withoutTray = true;
    m_window->SetWithoutTray(true);
    m_window->ShowInFront();
    // A second copy finds this one through the socket. Only the holder of
    // the single-instance lock gets here, so a socket left by a copy that
    // ended badly is stale and goes.
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = InstanceSocketName();
    QLocalServer::removeServer(name);
    if (!m_server->listen(name))
        qWarning("A second copy cannot reach this one: %s", qPrintable(m_server->errorString()));
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                // Only the one short request is read; anything else ends the
                // connection.
                const QByteArray expected(FrontRequest);
                const QByteArray request = socket->peek(expected.size() + 1);
                if (request.size() < expected.size() && expected.startsWith(request))
                    return;
                if (request == expected && m_window && !m_window->Closing) {
                    m_window->ShowInFront();
                    socket->write(FrontDone);
                    socket->flush();
                }
                socket->disconnectFromServer();
            });
        }
    });
    m_look.start(LaterLookMs);
    Q_EMIT trayMissing();
}

void TTrayPresence::LeaveWithoutTray()
{
    m_withoutTray = false;
    // With a tray, a second copy ends silently: nobody listens any more.
    if (m_server) {
        m_server->close();
        m_server->deleteLater();
        m_server = nullptr;
    }
    m_window->SetWithoutTray(false);
}
