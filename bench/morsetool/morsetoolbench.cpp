// morsetool as users run it, one process per iteration:
//   BM_DecodeCodeFile/0 (this build) and /1 (MORSETOOL_BASELINE, a build of an earlier
//     commit made by baseline.sh): decode of a code file of MORSETOOL_BENCH_MB megabytes
//     (default 50) into a file; the goal is /1 at least 5 times /0.
//   BM_DecodeSave/0 and /1: a 2 MB code file without and with --save; the goal is /1 at most
//     3 times /0.
//   BM_DecodeBatch/1 and /2: eight one-minute recordings with -j 1 and -j 2; the goal is /2 at
//     most 1/1.7 of /1.
// Run with --benchmark_repetitions=3 on a quiet machine; the ratios are what count. On a shared
// machine, running the bench under `chrt -f 10` (real-time priority, inherited by morsetool)
// keeps the other work from taking the processors while it measures.

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

const QString MORSETOOL = QStringLiteral(MORSETOOL_PATH);

/// The bundled sample repeated to at least @p bytes.
QString codeFile(const QTemporaryDir& dir, qint64 bytes)
{
    const QString path = dir.filePath(QStringLiteral("codes_%1.txt").arg(bytes));
    if (QFile::exists(path))
        return path;
    QFile sample(QStringLiteral(MORSE_BUNDLED_DATA_DIR "/samples/cq.txt"));
    QFile out(path);
    if (!sample.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return QString();
    const QByteArray body = sample.readAll();
    for (qint64 written = 0; written < bytes; written += body.size())
        out.write(body);
    return path;
}

QTemporaryDir& workDir()
{
    static QTemporaryDir dir;
    return dir;
}

/// Runs @p program with @p arguments, standard output into @p outputFile; false on failure.
bool run(const QString& program, const QStringList& arguments, const QString& outputFile)
{
    QFile::remove(outputFile);
    QProcess process;
    process.setStandardOutputFile(outputFile);
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

void BM_DecodeCodeFile(benchmark::State& state)
{
    const QString program =
        state.range(0) == 0 ? MORSETOOL : QString::fromLocal8Bit(qgetenv("MORSETOOL_BASELINE"));
    if (program.isEmpty()) {
        state.SkipWithError("MORSETOOL_BASELINE is not set (see bench/morsetool/baseline.sh)");
        return;
    }
    const qint64 megabytes = qEnvironmentVariableIsSet("MORSETOOL_BENCH_MB")
                                 ? qEnvironmentVariableIntValue("MORSETOOL_BENCH_MB")
                                 : 50;
    const QString input = codeFile(workDir(), megabytes << 20);
    const QString output = workDir().filePath(QStringLiteral("text.txt"));
    for (auto _ : state) {
        if (!run(program, {QStringLiteral("decode"), input}, output))
            state.SkipWithError("morsetool decode failed");
    }
    state.SetBytesProcessed(state.iterations() * (megabytes << 20));
}
BENCHMARK(BM_DecodeCodeFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeSave(benchmark::State& state)
{
    const QString input = codeFile(workDir(), 2 << 20);
    const QString output = workDir().filePath(QStringLiteral("text.txt"));
    QStringList arguments = {QStringLiteral("decode"), QStringLiteral("--quiet"), input};
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir save;
        if (state.range(0) == 1)
            arguments = QStringList{QStringLiteral("decode"), QStringLiteral("--quiet"),
                                    QStringLiteral("--save"), save.path(), input};
        state.ResumeTiming();
        if (!run(MORSETOOL, arguments, output))
            state.SkipWithError("morsetool decode failed");
    }
}
BENCHMARK(BM_DecodeSave)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef MORSETOOL_HAVE_CW
/// Eight recordings of a minute each, made once: four calls at 22 WPM last 60.0 s.
QStringList recordings()
{
    static QStringList paths;
    if (!paths.isEmpty())
        return paths;
    const QString text = QStringLiteral("CQ CQ DE K1ABC K1ABC PSE K ").repeated(4);
    for (int i = 0; i < 8; ++i) {
        const QString path = workDir().filePath(QStringLiteral("minute%1.flac").arg(i));
        if (run(MORSETOOL,
                {QStringLiteral("synth"), QStringLiteral("--wpm"), QStringLiteral("22"),
                 QStringLiteral("--snr"), QStringLiteral("6"), QStringLiteral("--seed"),
                 QString::number(i + 1), QStringLiteral("-o"), path, text},
                QProcess::nullDevice()))
            paths << path;
    }
    return paths;
}

void BM_DecodeBatch(benchmark::State& state)
{
    const QStringList inputs = recordings();
    if (inputs.size() != 8) {
        state.SkipWithError("the recordings could not be made");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir out;
        state.ResumeTiming();
        if (!run(MORSETOOL,
                 QStringList{QStringLiteral("decode"), QStringLiteral("--quiet"),
                             QStringLiteral("-j"), QString::number(state.range(0)),
                             QStringLiteral("--output-dir"), out.path()} +
                     inputs,
                 QProcess::nullDevice()))
            state.SkipWithError("morsetool decode failed");
    }
}
BENCHMARK(BM_DecodeBatch)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

} // namespace

BENCHMARK_MAIN();
