#pragma once

#include <QString>
#include <QStringList>

class QCommandLineParser;

/// `morsetool decode` of several inputs: each input is decoded by a morsetool process of its
/// own (the library keeps process-wide state), up to --jobs at once, into a file of
/// --output-dir named INPUT.txt or INPUT.jsonl after the input's whole name (never replacing one)
/// or, in input order, onto standard output. A summary on stderr tells what became of each input.
class DecodeBatch
{
public:
    /// The inputs of @p arguments: patterns with * ? or [ that name no file are expanded
    /// (sorted); none gives standard input. @p error is set for a pattern that matches nothing.
    static QStringList ExpandInputs(const QStringList& arguments, QString& error);

    /// Takes the options of @p parser for every input; false with @p error for a bad --jobs
    /// or an output directory that cannot be made.
    bool configure(const QCommandLineParser& parser, const QStringList& inputs, QString& error);
    /// Decodes every input; the exit code (the worst of the inputs').
    int run();

private:
    struct Job;

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
