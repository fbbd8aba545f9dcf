#include "tools/morsehandler/trace.h"

#include "host/errorhandler.h"

namespace morse {

bool isTracingOn()
{
    return (ErrorHandler::Instance()->GetTraceFlags() & TRACE_FLAG_LIBRARY) != 0;
}

void trace(const QString& message, const QString& sourceFile, int line)
{
    if (isTracingOn())
        _Q_Trace(message, sourceFile, line);
}

} // namespace morse
