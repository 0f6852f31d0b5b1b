#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// Base of every failure of the program: an exception carrying a message that
// the application's handler shows to the user.
class Exception : public std::exception
{
public:
    explicit Exception(QString message);

    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A silent abort: unwinds a command without any message being shown.
class EAbort : public Exception
{
public:
    EAbort();
    explicit EAbort(QString message);
};

// Failure of a conversion (text to number, text to date-time).
class EConvertError : public Exception
{
public:
    using Exception::Exception;
};
