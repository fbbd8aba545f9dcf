#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QCommandLineParser;
class QEventLoop;
class QProcess;
class QSocketNotifier;

/// `morsetool decode` of several inputs: each input is decoded by a morsetool process of its
/// own (the library keeps process-wide state), up to --jobs at once, into a file of
/// --output-dir named INPUT.txt or INPUT.jsonl after the input's whole name (never replacing one)
/// or, in input order, onto standard output. A summary on stderr tells what became of each input.
/// A stop signal (SIGINT, SIGTERM, SIGHUP) is handed on to the running decodes, which finish what
/// they read and save; no further input is started, and the batch exits with the signal's code.
class DecodeBatch
{
public:
    /// The inputs of @p arguments: patterns with * ? or [ that name no file are expanded
    /// (sorted); none gives standard input. @p error is set for a pattern that matches nothing.
    static QStringList ExpandInputs(const QStringList& arguments, QString& error);

    /// Takes the options of @p parser for every input; false with @p error for a bad --jobs
    /// or an output directory that cannot be made.
    bool configure(const QCommandLineParser& parser, const QStringList& inputs, QString& error);
    /// Decodes every input; the exit code (the worst of the inputs', or 128 + the number of a
    /// stop signal). Expects ShutdownSignals to be installed.
    int run();

private:
    struct Job;

    /// Wakes @p loop when a stop signal arrives.
    static std::unique_ptr<QSocketNotifier> watchStopSignals(QEventLoop& loop);
    void startJob(Job& job, QEventLoop& loop) const;
    /// Hands the stop signal to the running jobs and marks those from @p next on as not started.
    static void stopJobs(std::vector<Job>& jobs, size_t next);
    /// Sends the stop signal that arrived to a running decode.
    static void signalProcess(const QProcess& process);
    static void collectJob(Job& job);
    /// Prints the summary; the batch's exit code.
    int summarize(const std::vector<Job>& jobs, bool stopped) const;
    QStringList childArguments(const QString& input, const QString& output) const;
    QString outputFileFor(const QString& input) const;
    void report(const Job& job);

    QStringList m_inputs;
    QStringList m_forwarded; ///< options handed to every child
    QString m_strOutputDir;
    QString m_strExtension;
    int m_nJobs = 1;
    bool m_bQuiet = false;
};
