#pragma once

#include "host/morsehost_export.h"

#include <QString>

#include <functional>
#include <mutex>

/// Bit of the trace flags that switches the library's trace lines on.
constexpr int TRACE_FLAG_LIBRARY = 0x20;

/// The host's error handler: trace flags and where trace lines go. Each component writes its
/// trace lines only while its bit of the flags is set. Safe to use from any thread.
class MORSEHOST_EXPORT ErrorHandler
{
public:
    /// Receives each trace line: the message, the source file it comes from as a relative path
    /// without extension, and a line number.
    using Sink = std::function<void(const QString& message, const QString& sourceFile, int line)>;

    static ErrorHandler* Instance();

    /// Bits that switch the trace lines of the host's components on; 0 at start.
    int GetTraceFlags() const;
    void SetTraceFlags(int flags);
    /// Replaces where trace lines go; an empty sink restores the default (one line on stderr).
    void SetTraceSink(Sink sink);

    /// Hands one line to the sink, whatever the flags: callers check their bit first.
    void Trace(const QString& message, const QString& sourceFile, int line);

private:
    ErrorHandler();

    int m_nTraceFlags = 0;
    Sink m_sink;
    mutable std::mutex m_mutex;
};

/// Writes one trace line through the error handler's sink.
MORSEHOST_EXPORT void _Q_Trace(const QString& message, const QString& sourceFile, int line);
/// printf-style trace line (UTF-8 format and arguments), through the same sink.
MORSEHOST_EXPORT void _Q_TraceOld(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
