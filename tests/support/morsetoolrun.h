#pragma once

// Runs the built morsetool as a child process, for tests of its commands.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

/// Whether this build made morsetool; the tests that run it skip without it.
#ifdef MORSETOOL_PATH
constexpr bool HAVE_MORSETOOL = true;
#else
constexpr bool HAVE_MORSETOOL = false;
#define MORSETOOL_PATH ""
#endif

/// The morsetool of this build.
inline QString morsetoolPath()
{
    return QStringLiteral(MORSETOOL_PATH);
}

struct MorsetoolRun
{
    int exitCode = -1; ///< -1 when the program did not finish normally within five minutes
    QByteArray out;
    QByteArray err;
    QString text() const { return QString::fromUtf8(out); }
    QString error() const { return QString::fromUtf8(err); }
};

/// morsetool @p arguments with @p input on standard input, and @p environment added to the
/// test's own environment; standard output goes to @p strOutputFile when given (such as
/// /dev/full).
inline MorsetoolRun runMorsetool(const QStringList& arguments, const QByteArray& input = {},
                                 const QProcessEnvironment& environment = {},
                                 const QString& strOutputFile = QString())
{
    QProcess process;
    QProcessEnvironment full = QProcessEnvironment::systemEnvironment();
    full.insert(environment);
    process.setProcessEnvironment(full);
    if (!strOutputFile.isEmpty())
        process.setStandardOutputFile(strOutputFile);
    process.start(morsetoolPath(), arguments);
    process.write(input);
    process.closeWriteChannel();
    MorsetoolRun run;
    if (process.waitForFinished(300000) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}
