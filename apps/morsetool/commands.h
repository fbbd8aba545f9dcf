#pragma once

#include <QStringList>

// The sub-commands of morsetool. Each takes the arguments after its name and returns the
// process exit code: 0 success, 1 a failure while running, 2 input or usage it cannot read.

int runDecodeCommand(const QStringList& arguments);
int runEncodeCommand(const QStringList& arguments);
int runAlphabetsCommand(const QStringList& arguments);
int runMarkersCommand(const QStringList& arguments);
int runTranslateCommand(const QStringList& arguments);
int runCodecCommand(const QStringList& arguments);
int runCodecsCommand(const QStringList& arguments);
int runModulesCommand(const QStringList& arguments);
int runMapCommand(const QStringList& arguments);
int runSynthCommand(const QStringList& arguments);
int runSkimCommand(const QStringList& arguments);
int runCheckCommand(const QStringList& arguments);

/// Exit codes shared by every command.
enum ExitCode
{
    EXIT_OK = 0,
    EXIT_FAILURE_RUNNING = 1,
    EXIT_BAD_INPUT = 2,
};
