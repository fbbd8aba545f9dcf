#include "host/errorhandler.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace {

void writeToStderr(const QString& message, const QString& sourceFile, int line)
{
    const QByteArray text =
        sourceFile.isEmpty()
            ? message.toUtf8()
            : QStringLiteral("%1(%2): %3").arg(sourceFile).arg(line).arg(message).toUtf8();
    std::fprintf(stderr, "%s\n", text.constData());
}

} // namespace

ErrorHandler::ErrorHandler() : m_sink(writeToStderr) {}

ErrorHandler* ErrorHandler::Instance()
{
    static ErrorHandler handler;
    return &handler;
}

int ErrorHandler::GetTraceFlags() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nTraceFlags;
}

void ErrorHandler::SetTraceFlags(int flags)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nTraceFlags = flags;
}

void ErrorHandler::SetTraceSink(Sink sink)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sink = sink ? std::move(sink) : Sink(writeToStderr);
}

void ErrorHandler::Trace(const QString& message, const QString& sourceFile, int line)
{
    Sink sink;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        sink = m_sink;
    }
    sink(message, sourceFile, line);
}

void _Q_Trace(const QString& message, const QString& sourceFile, int line)
{
    ErrorHandler::Instance()->Trace(message, sourceFile, line);
}

void _Q_TraceOld(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<char> buffer(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
    if (length > 0)
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    ErrorHandler::Instance()->Trace(QString::fromUtf8(buffer.data()), QString(), 0);
}
