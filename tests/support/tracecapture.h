#pragma once

#include "host/errorhandler.h"

#include <QStringList>

/// Collects trace lines while alive, with the library's trace flag set: each message alone, and
/// each as "message|source file|line".
class TraceCapture
{
public:
    TraceCapture()
    {
        ErrorHandler::Instance()->SetTraceFlags(TRACE_FLAG_LIBRARY);
        ErrorHandler::Instance()->SetTraceSink(
            [this](const QString& message, const QString& file, int line) {
                lines << message;
                located << QStringLiteral("%1|%2|%3").arg(message, file).arg(line);
            });
    }
    ~TraceCapture()
    {
        ErrorHandler::Instance()->SetTraceFlags(0);
        ErrorHandler::Instance()->SetTraceSink(nullptr);
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    QStringList lines;
    QStringList located;
};
