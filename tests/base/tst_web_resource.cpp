// Reading a web resource from a real HTTP server on 127.0.0.1: a file comes
// back byte for byte, a missing page and a closed port are connection errors.
#include "base/U_KA_Var.h"
#include "diag/ZelException.h"
#include "support/BaseSupport.h"
#include "support/Failure.h"

#include <QFile>
#include <QProcess>
#include <QSemaphore>
#include <QStandardPaths>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTest>

using testsupport::FailureOf;

namespace {

// A scripted HTTP server on a thread of its own (the read blocks the test's
// thread): answer() gets each request and the socket to write to.
class ServerThread : public QThread
{
public:
    using Answer = std::function<void(QTcpSocket *socket, const QByteArray &request)>;
    explicit ServerThread(Answer answer) : m_answer(std::move(answer))
    {
        start();
        m_ready.acquire();
    }
    ~ServerThread() override
    {
        quit();
        wait();
    }
    QString url(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_port).arg(path); }

protected:
    void run() override
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        m_port = server.serverPort();
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this, &server] {
            QTcpSocket *socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                             [this, socket] { m_answer(socket, socket->readAll()); });
        });
        m_ready.release();
        exec();
    }

private:
    Answer m_answer;
    quint16 m_port = 0;
    QSemaphore m_ready;
};

} // namespace

class TestWebResource : public QObject
{
    Q_OBJECT

    testsupport::LocalWebServer m_server;

    QString url(const QString &path) const { return m_server.url(path); }

private Q_SLOTS:
    void initTestCase()
    {
        testsupport::InitProgramUnits();
        QVERIFY(m_server.put(QStringLiteral("version.txt"), "2.3.0\r\n2004-01-15\r\n\xe9t\xe9 bytes\x01\xff"));
        QVERIFY(m_server.start());
    }

    void fileComesBackByteForByte()
    {
        const QString text = ReadWebResource(url(QStringLiteral("version.txt")));
        QCOMPARE(text, QString::fromLatin1("2.3.0\r\n2004-01-15\r\n\xe9t\xe9 bytes\x01\xff"));
    }

    // The connection breaks while the body is read: a silent abort.
    void brokenReadAbortsSilently()
    {
        ServerThread server([](QTcpSocket *socket, const QByteArray &) {
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nonly a part");
            socket->flush();
            socket->disconnectFromHost();
        });
        QCOMPARE(FailureOf([&] { ReadWebResource(server.url(QStringLiteral("cut.txt"))); }),
                 QStringLiteral("(silent abort)"));
    }

    // The caller waits for the read: none of its own events (timers, clicks)
    // runs inside it.
    void readRunsNothingOfTheCaller()
    {
        ServerThread slow([](QTcpSocket *socket, const QByteArray &) {
            QTimer::singleShot(300, socket, [socket] {
                socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
                socket->flush();
                socket->disconnectFromHost();
            });
        });
        bool timerRan = false;
        QTimer::singleShot(0, this, [&timerRan] { timerRan = true; });
        QCOMPARE(ReadWebResource(slow.url(QStringLiteral("slow.txt"))), QStringLiteral("ok"));
        QVERIFY(!timerRan);
        QTRY_VERIFY(timerRan);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("404") << QStringLiteral("missing.txt");
        QTest::newRow("closed port") << QStringLiteral("closed");
        QTest::newRow("not an address") << QStringLiteral("not an address");
        QTest::newRow("endless redirects") << QStringLiteral("redirects");
        QTest::newRow("no answer within the time limit") << QStringLiteral("silent");
    }

    void failures()
    {
        QFETCH(QString, address);
        QString target = url(address);
        // Every request is sent on to another page, for ever.
        ServerThread redirects([](QTcpSocket *socket, const QByteArray &request) {
            const QByteArray path = request.split(' ').value(1);
            socket->write("HTTP/1.1 302 Found\r\nLocation: " + path + "x\r\nContent-Length: 0\r\n\r\n");
            socket->flush();
        });
        // Takes the request and never answers.
        ServerThread silent([](QTcpSocket *, const QByteArray &) {});
        SetWebReadTimeLimit(300);
        if (address == QLatin1String("closed"))
            target = QStringLiteral("http://127.0.0.1:%1/version.txt").arg(testsupport::ClosedPort());
        else if (address == QLatin1String("not an address"))
            target = address;
        else if (address == QLatin1String("redirects"))
            target = redirects.url(QStringLiteral("a"));
        else if (address == QLatin1String("silent"))
            target = silent.url(QStringLiteral("a"));
        const auto restore = qScopeGuard([] { SetWebReadTimeLimit(0); });
        QCOMPARE(FailureOf([&] { ReadWebResource(target); }), QStringLiteral("Internet Connect Error"));
    }
};

QTEST_MAIN(TestWebResource)
#include "tst_web_resource.moc"
