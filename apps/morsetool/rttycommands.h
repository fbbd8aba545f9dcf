#pragma once

#include <QStringList>

// The teleprinter (RTTY) side of morsetool decode and synth, chosen with "--mode rtty".

/// Removes "--mode MODE" (or "--mode=MODE") from @p arguments. For "rtty" runs @p rtty on
/// the rest, for a mode other than "cw" reports it; either way true, with the exit code in
/// @p exitCode. False for "cw" (or no --mode): the caller goes on with @p arguments.
bool RunsOtherMode(QStringList& arguments, const QString& command, int (*rtty)(const QStringList&),
                   int& exitCode);

int runRttyDecodeCommand(const QStringList& arguments);
int runRttySynthCommand(const QStringList& arguments);
