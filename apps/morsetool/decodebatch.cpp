#include "decodebatch.h"

#include "commandline.h"
#include "commands.h"
#include "shutdownsignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QSocketNotifier>

#include <memory>
#include <vector>

#include <csignal>
#include <unistd.h>

namespace {

/// Options of the batch itself, not handed to each input's decode.
const QStringList BATCH_OPTIONS = {QStringLiteral("o"), QStringLiteral("output"),
                                   QStringLiteral("output-dir"), QStringLiteral("j"),
                                   QStringLiteral("jobs")};

bool isPattern(const QString& argument)
{
    return argument.contains(QLatin1Char('*')) || argument.contains(QLatin1Char('?')) ||
           argument.contains(QLatin1Char('['));
}

} // namespace

struct DecodeBatch::Job
{
    QString input;
    QString output; ///< file written, or "-" when captured for standard output
    std::unique_ptr<QProcess> process;
    bool finished = false;
    bool started = false;
    int exitCode = EXIT_FAILURE_RUNNING;
    QByteArray text; ///< captured output, for standard output
};

QStringList DecodeBatch::ExpandInputs(const QStringList& arguments, QString& error)
{
    QStringList inputs;
    for (const QString& argument : arguments) {
        if (!isPattern(argument) || QFileInfo::exists(argument)) {
            inputs << argument;
            continue;
        }
        const QFileInfo pattern(argument);
        const QDir folder = pattern.dir();
        const QStringList names = folder.entryList({pattern.fileName()}, QDir::Files, QDir::Name);
        if (names.isEmpty()) {
            error = CommandLine::CannotOpen(argument, QStringLiteral("no file matches"));
            return {};
        }
        for (const QString& name : names)
            inputs << (argument.contains(QLatin1Char('/')) ? folder.filePath(name) : name);
    }
    if (inputs.isEmpty())
        inputs << QStringLiteral("-");
    return inputs;
}

bool DecodeBatch::configure(const QCommandLineParser& parser, const QStringList& inputs,
                            QString& error)
{
    m_inputs = inputs;
    if (m_inputs.contains(QStringLiteral("-"))) {
        error = QStringLiteral("standard input cannot be one of several inputs");
        return false;
    }
    if (parser.isSet(QStringLiteral("jobs"))) {
        bool ok = false;
        m_nJobs = parser.value(QStringLiteral("jobs")).toInt(&ok);
        if (!ok || m_nJobs < 1 || m_nJobs > 256) {
            error = QStringLiteral("--jobs expects a number from 1 to 256, got \"%1\"")
                        .arg(parser.value(QStringLiteral("jobs")));
            return false;
        }
    }
    m_strExtension = parser.value(QStringLiteral("format")) == QLatin1String("jsonl")
                         ? QStringLiteral(".jsonl")
                         : QStringLiteral(".txt");
    m_bQuiet = parser.isSet(QStringLiteral("quiet"));
    if (parser.isSet(QStringLiteral("output-dir"))) {
        m_strOutputDir = parser.value(QStringLiteral("output-dir"));
        if (m_strOutputDir.isEmpty() || !QDir().mkpath(m_strOutputDir)) {
            error = CommandLine::CannotOpen(m_strOutputDir,
                                            QStringLiteral("cannot create the output directory"));
            return false;
        }
    }
    for (const QString& name : parser.optionNames()) {
        if (BATCH_OPTIONS.contains(name) || m_forwarded.contains(QStringLiteral("--") + name))
            continue;
        const QStringList values = parser.values(name);
        const QString option =
            (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        if (values.isEmpty())
            m_forwarded << option;
        for (const QString& value : values)
            m_forwarded << option << value;
    }
    return true;
}

QString DecodeBatch::outputFileFor(const QString& input) const
{
    // The whole name: cq.wav and cq.flac of one folder get files of their own.
    return QDir(m_strOutputDir).filePath(QFileInfo(input).fileName() + m_strExtension);
}

QStringList DecodeBatch::childArguments(const QString& input, const QString& output) const
{
    return QStringList{QStringLiteral("decode")} + m_forwarded +
           QStringList{QStringLiteral("-o"), output, QStringLiteral("--"), input};
}

int DecodeBatch::run()
{
    std::vector<Job> jobs(size_t(m_inputs.size()));
    for (int i = 0; i < m_inputs.size(); ++i) {
        jobs[size_t(i)].input = m_inputs.at(i);
        jobs[size_t(i)].output =
            m_strOutputDir.isEmpty() ? QStringLiteral("-") : outputFileFor(m_inputs.at(i));
    }
    size_t next = 0;     // the next job to start
    size_t reported = 0; // jobs before this one are reported
    int running = 0;
    QEventLoop loop; // runs until a job ends or a stop is asked for
    std::unique_ptr<QSocketNotifier> stopNotifier = watchStopSignals(loop);
    bool stopping = false;
    while (reported < jobs.size()) {
        if (!stopping && ShutdownSignals::Requested()) {
            stopping = true;
            stopJobs(jobs, next);
            next = jobs.size();
        }
        while (running < m_nJobs && next < jobs.size()) {
            startJob(jobs[next++], loop);
            ++running;
        }
        // A process that could not start is over before the loop would run.
        bool anyEnded = false;
        for (size_t i = reported; i < next; ++i)
            anyEnded |= !jobs[i].finished && jobs[i].process->state() == QProcess::NotRunning;
        if (!anyEnded && (stopping || !ShutdownSignals::Requested()))
            loop.exec();
        for (size_t i = reported; i < next; ++i) {
            Job& job = jobs[i];
            if (job.finished || job.process->state() != QProcess::NotRunning)
                continue;
            collectJob(job);
            --running;
        }
        while (reported < next && jobs[reported].finished)
            report(jobs[reported++]);
    }
    return summarize(jobs, stopping);
}

std::unique_ptr<QSocketNotifier> DecodeBatch::watchStopSignals(QEventLoop& loop)
{
    const int descriptor = ShutdownSignals::WakeDescriptor();
    if (descriptor < 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &loop, [descriptor, &loop] {
        char bytes[64];
        while (::read(descriptor, bytes, sizeof bytes) > 0) {
        }
        loop.quit();
    });
    return notifier;
}

void DecodeBatch::startJob(Job& job, QEventLoop& loop) const
{
    job.process = std::make_unique<QProcess>();
    job.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(job.process.get(),
                     QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
                     &QEventLoop::quit);
    QObject::connect(job.process.get(), &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    job.process->start(QCoreApplication::applicationFilePath(),
                       childArguments(job.input, job.output));
    job.started = true;
}

void DecodeBatch::signalProcess(const QProcess& process)
{
    if (process.processId() > 0)
        ::kill(static_cast<pid_t>(process.processId()), ShutdownSignals::Signal());
}

void DecodeBatch::stopJobs(std::vector<Job>& jobs, size_t next)
{
    // Each running decode hears the same signal: it finishes what it read, saves and exits.
    // The jobs not started yet are not started at all.
    for (size_t i = 0; i < jobs.size(); ++i) {
        Job& job = jobs[i];
        if (i >= next) {
            job.finished = true;
            job.exitCode = ShutdownSignals::ExitCode();
        } else if (!job.finished && job.process->state() == QProcess::Starting) {
            // Between fork and exec the child would lose the signal: it gets it once it runs.
            QProcess* process = job.process.get();
            QObject::connect(process, &QProcess::started, process,
                             [process] { signalProcess(*process); });
        } else if (!job.finished && job.process->state() == QProcess::Running) {
            signalProcess(*job.process);
        }
    }
}

void DecodeBatch::collectJob(Job& job)
{
    if (job.process->exitStatus() == QProcess::NormalExit &&
        job.process->error() != QProcess::FailedToStart)
        job.exitCode = job.process->exitCode();
    else
        CommandLine::Fail(QStringLiteral("decode"), EXIT_FAILURE_RUNNING,
                          QStringLiteral("%1: the decoding process failed (%2)")
                              .arg(job.input, job.process->errorString()));
    job.text = job.process->readAllStandardOutput();
    job.finished = true;
}

int DecodeBatch::summarize(const std::vector<Job>& jobs, bool stopped) const
{
    int worst = EXIT_OK;
    int failed = 0;
    int interrupted = 0;
    int notStarted = 0;
    for (const Job& job : jobs) {
        worst = qMax(worst, job.exitCode);
        if (!job.started)
            ++notStarted;
        else if (stopped && job.exitCode == ShutdownSignals::ExitCode())
            ++interrupted;
        else if (job.exitCode != EXIT_OK)
            ++failed;
    }
    const int decoded = int(jobs.size()) - failed - interrupted - notStarted;
    QString summary = QStringLiteral("%1 inputs: %2 decoded, %3 failed")
                          .arg(jobs.size())
                          .arg(decoded)
                          .arg(failed);
    if (stopped)
        summary += QStringLiteral(", %1 stopped, %2 not started (signal %3)")
                       .arg(interrupted)
                       .arg(notStarted)
                       .arg(ShutdownSignals::Signal());
    if (!m_bQuiet || decoded < int(jobs.size()))
        CommandLine::Fail(QStringLiteral("decode"), EXIT_OK, summary);
    return stopped ? ShutdownSignals::ExitCode() : worst;
}

void DecodeBatch::report(const Job& job)
{
    if (!job.started)
        return; // stopped before its turn: the summary counts it
    if (job.output == QLatin1String("-")) {
        if (m_strExtension == QLatin1String(".txt"))
            std::printf("==> %s <==\n", qPrintable(job.input));
        std::fwrite(job.text.constData(), 1, size_t(job.text.size()), stdout);
        std::fflush(stdout);
    } else if (!m_bQuiet && job.exitCode != EXIT_BAD_INPUT) {
        CommandLine::Fail(QStringLiteral("decode"), EXIT_OK,
                          QStringLiteral("%1 -> %2").arg(job.input, job.output));
    }
}
