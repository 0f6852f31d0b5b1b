// The shell helpers of U_KA_Var: autostart, opening targets, the web site and
// the mail link, the web reader, the password scrambler and the move of the
// legacy data folder.
#include "base/U_KA_Var.h"

#include "diag/U_ZEL_FileSystem.h"
#include "base/TPlayer.h"
#include "diag/U_ZEL_System.h"
#include "diag/U_ZEL_Utilities.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

namespace {

// The fixed key byte of the password scrambler. It turns every printable
// ASCII character into a printable Latin-1 letter or sign and back (never into
// a control character), so the stored value stays plain text; of the printable
// Latin-1 characters only the division sign would become one (DEL).
constexpr char16_t ScrambleKey = 0x88;

QString ExecutablePath()
{
    if (const TZELApplication *application = ZELApplication())
        return application->ExeName;
    return QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
}

// Quoting of a desktop entry's Exec value: a path with blanks or reserved
// characters goes in double quotes with '"', '`', '$' and '\' escaped; '%' is
// doubled in every case.
QString QuoteExec(const QString &path)
{
    QString escaped = path;
    escaped.replace(QLatin1Char('%'), QStringLiteral("%%"));
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = false;
    for (QChar c : path)
        needsQuotes = needsQuotes || reserved.contains(c);
    if (!needsQuotes)
        return escaped;
    QString quoted;
    for (QChar c : std::as_const(escaped)) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString UnquoteExec(const QString &value)
{
    QString text = value.trimmed();
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"'))) {
        QString plain;
        for (qsizetype i = 1; i + 1 < text.size(); ++i) {
            if (text[i] == QLatin1Char('\\') && i + 2 < text.size())
                ++i;
            plain += text[i];
        }
        text = plain;
    }
    text.replace(QStringLiteral("%%"), QStringLiteral("%"));
    return text;
}

// The Exec value of a desktop entry, as written (escapes of the desktop entry
// value format undone: \s \n \t \r \\).
QString ReadExecLine(const QString &entryPath)
{
    QFile file(entryPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.startsWith(QLatin1String("Exec="))) {
            QString value;
            const QString raw = line.mid(5);
            for (qsizetype i = 0; i < raw.size(); ++i) {
                if (raw[i] == QLatin1Char('\\') && i + 1 < raw.size()) {
                    const QChar next = raw[++i];
                    value += next == QLatin1Char('s')   ? QChar(QLatin1Char(' '))
                             : next == QLatin1Char('n') ? QChar(QLatin1Char('\n'))
                             : next == QLatin1Char('t') ? QChar(QLatin1Char('\t'))
                             : next == QLatin1Char('r') ? QChar(QLatin1Char('\r'))
                                                        : next;
                } else {
                    value += raw[i];
                }
            }
            return value;
        }
    }
    return {};
}

QString EscapeValue(const QString &value)
{
    QString escaped;
    for (QChar c : value) {
        if (c == QLatin1Char('\\'))
            escaped += QStringLiteral("\\\\");
        else
            escaped += c;
    }
    return escaped;
}

QString CannotWrite(const QString &path, const QString &reason)
{
    return KaVar::Tr(QStringLiteral("Cannot write \"%1\": %2"), QStringLiteral("Impossible d'écrire \"%1\" : %2"))
        .arg(path, reason);
}

} // namespace

QString AutoStartEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/Almarik.desktop");
}

void SetAutoStart(bool on)
{
#ifdef Q_OS_WIN
    QSettings run(QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"),
                  QSettings::NativeFormat);
    if (on)
        run.setValue(QStringLiteral("Almarik"), ExecutablePath());
    else
        run.remove(QStringLiteral("Almarik"));
    run.sync();
    if (run.status() != QSettings::NoError)
        throw Exception(
            KaVar::Tr(QStringLiteral("Cannot write the Run key"), QStringLiteral("Impossible d'écrire la clé Run")));
#else
    const QString entry = AutoStartEntryPath();
    if (!on) {
        if (QFileInfo::exists(entry) && !QFile::remove(entry))
            throw Exception(
                KaVar::Tr(QStringLiteral("Cannot delete \"%1\""), QStringLiteral("Impossible de supprimer \"%1\""))
                    .arg(entry));
        return;
    }
    QDir().mkpath(QFileInfo(entry).path());
    QSaveFile file(entry);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        throw Exception(CannotWrite(entry, file.errorString()));
    const QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=") + KaVar::AppTitle() +
                         QStringLiteral("\nExec=") + EscapeValue(QuoteExec(ExecutablePath())) +
                         QStringLiteral("\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    file.write(text.toUtf8());
    if (!file.commit())
        throw Exception(CannotWrite(entry, file.errorString()));
#endif
}

bool AutoStartIsSet()
{
#ifdef Q_OS_WIN
    QSettings run(QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"),
                  QSettings::NativeFormat);
    return run.contains(QStringLiteral("Almarik")) &&
           run.value(QStringLiteral("Almarik")).toString() == ExecutablePath();
#else
    const QString entry = AutoStartEntryPath();
    return QFileInfo::exists(entry) && UnquoteExec(ReadExecLine(entry)) == ExecutablePath();
#endif
}

void ShellOpen(const QString &target, int verbIndex)
{
    if (ShellExecute(target, verbIndex, QString(), QString(), SW_SHOW) <= 32)
        throw Exception(QStringLiteral("Error on executing : ") + target);
}

void OpenWebSite()
{
    ShellOpen(KaVar::RequiredSiteAddress() + QStringLiteral("?referer=AlmarikSH"), 0);
}

QString MailLink(const QString &subject, const QString &body)
{
    QString link =
        QStringLiteral("mailto:") + KaVar::SupportMail() + QStringLiteral("?subject=\"[Almarik 2] ") + subject;
    if (!body.isEmpty())
        link += QStringLiteral("\"&body=\"") + body;
    return link + QLatin1Char('"');
}

void SendMail(const QString &subject, const QString &body)
{
    ShellOpen(MailLink(subject, body), 1);
}

namespace {

int &WebReadTimeLimit()
{
    static int limit = 30000;
    return limit;
}

// What a read of a web resource found: an answer with its body, no answer
// (no connection, an error status, endless redirects, the time limit), or an
// answer whose body broke off.
struct WebRead
{
    bool connected = false;
    bool complete = false;
    QByteArray body;
};

// Runs the request on a thread of its own, with its own network manager and
// event loop: the caller waits without running any of its own events (no
// timer, tray click or due check runs inside the read).
WebRead ReadOnWorker(const QUrl &url, const QString &agent, int timeLimit)
{
    WebRead result;
    QThread *worker = QThread::create([&result, url, agent, timeLimit] {
        QNetworkAccessManager manager;
        QNetworkRequest request(url);
        request.setHeader(QNetworkRequest::UserAgentHeader, agent);
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferCache);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        request.setMaximumRedirectsAllowed(10);
        QNetworkReply *reply = manager.get(request);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        bool late = false;
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, [&late, reply] {
            late = true;
            reply->abort();
        });
        limit.start(timeLimit);
        if (!reply->isFinished())
            loop.exec();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const QNetworkReply::NetworkError error = reply->error();
        // An HTTP error status is no resource (the error page is not the
        // answer), nor is a redirect that was not followed to its end.
        result.connected = !late && status.isValid() && status.toInt() < 300 &&
                           error != QNetworkReply::TooManyRedirectsError &&
                           error != QNetworkReply::InsecureRedirectError;
        result.body = reply->readAll();
        // A body shorter than the length the answer announced broke off,
        // whatever the network layer made of the closed connection.
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        const bool cut =
            length.isValid() && !reply->hasRawHeader("Content-Encoding") && result.body.size() < length.toLongLong();
        result.complete = error == QNetworkReply::NoError && !cut;
        delete reply;
    });
    worker->start();
    worker->wait();
    delete worker;
    return result;
}

} // namespace

void SetWebReadTimeLimit(int milliseconds)
{
    WebReadTimeLimit() = milliseconds > 0 ? milliseconds : 30000;
}

QString ReadWebResource(const QString &address)
{
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    const QUrl url(address);
    if (!url.isValid() || url.scheme().isEmpty())
        throw Exception(QStringLiteral("Internet Connect Error"));
    const WebRead read =
        ReadOnWorker(url, QFileInfo(QDir::fromNativeSeparators(ExecutablePath())).fileName(), WebReadTimeLimit());
    if (!read.connected)
        throw Exception(QStringLiteral("Internet Connect Error"));
    if (!read.complete)
        throw EAbort(QStringLiteral("Operation aborted"));
    return QString::fromLatin1(read.body);
}

bool PlayWaveFile(const QString &path, int volume)
{
    TPlayer *player = KaVar::Player();
    if (!player)
        return false;
    try {
        player->Open(QString(path).remove(QLatin1Char('"')));
        player->SetVolume(volume);
        player->Play();
        return true;
    } catch (const Exception &) {
        return false;
    }
}

QString ScramblePassword(const QString &text)
{
    QString result = text;
    for (qsizetype i = 0; i + 1 < result.size(); ++i)
        result[i] = QChar(char16_t(result[i].unicode() ^ ScrambleKey));
    return result;
}

void MigrateLegacyData()
{
    const QString legacy = KaVar::LegacyDataDir();
    if (!QFileInfo(QDir::fromNativeSeparators(legacy)).isDir())
        return;
    DoFileOperation(TFileOperation::foMove, legacy + QStringLiteral("*.*"), KaVar::UserDataDir(),
                    TFileOperation::fofNoConfirmation | TFileOperation::fofNoConfirmMkDir |
                        TFileOperation::fofRenameOnCollision | TFileOperation::fofSilent);
    DoFileOperation(TFileOperation::foDelete, RemoveTrailingBackslash(legacy), QString(),
                    TFileOperation::fofNoConfirmation | TFileOperation::fofNoConfirmMkDir);
}
