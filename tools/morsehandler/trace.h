#pragma once

#include "tools/morsehandler/morsehandler_export.h"

#include <QString>

namespace morse {

/// True when the host's trace flags have the library's bit (0x20) set.
MORSEHANDLER_TESTS_EXPORT bool isTracingOn();
/// Writes one trace line through the host when tracing is on.
MORSEHANDLER_TESTS_EXPORT void trace(const QString& message, const QString& sourceFile, int line);

} // namespace morse
