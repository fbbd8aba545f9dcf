#pragma once

#include <QStringList>

#include <functional>

// The teleprinter (RTTY) side of morsetool decode and synth, chosen with "--mode rtty".

/// The command @p command with "--mode cw|rtty": it removes "--mode MODE" (or "--mode=MODE")
/// from the arguments and runs @p cw (also without --mode) or @p rtty on the rest; any other
/// mode is refused as bad input.
std::function<int(const QStringList&)> WithModes(const char* command, int (*cw)(const QStringList&),
                                                 int (*rtty)(const QStringList&));

int runRttyDecodeCommand(const QStringList& arguments);
int runRttySynthCommand(const QStringList& arguments);
