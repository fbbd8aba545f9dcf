#pragma once

#include <QStringList>

// The teleprinter (RTTY) side of morsetool decode and synth, chosen with "--mode rtty".

/// Removes "--mode MODE" (or "--mode=MODE") from @p arguments and returns MODE: "cw" when
/// absent; the caller rejects modes it does not know.
QString TakeMode(QStringList& arguments);

int runRttyDecodeCommand(const QStringList& arguments);
int runRttySynthCommand(const QStringList& arguments);
