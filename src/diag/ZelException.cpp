#include "diag/ZelException.h"

Exception::Exception(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8())
{
}

EAbort::EAbort() : Exception(QStringLiteral("Operation aborted"))
{
}

EAbort::EAbort(QString message) : Exception(std::move(message))
{
}
