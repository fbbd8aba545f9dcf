#pragma once

#include <QString>

namespace morse {

/// True when the host's trace flags have the library's bit (0x20) set.
bool isTracingOn();
/// Writes one trace line through the host when tracing is on.
void trace(const QString& message, const QString& sourceFile, int line);

} // namespace morse
