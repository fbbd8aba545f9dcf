// The contract that every morsetool command keeps: exit codes, one message form, write errors
// told, and input bytes never silently dropped.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

const QString MORSETOOL = QStringLiteral(MORSE_BINARY_DIR "/apps/morsetool/morsetool");
const QString SAMPLES = QStringLiteral(MORSE_BUNDLED_DATA_DIR "/samples/");

struct ToolRun
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};

/// Runs morsetool with @p input on standard input; standard output goes to @p outputFile when
/// given (such as /dev/full).
ToolRun morsetool(const QStringList& arguments, const QByteArray& input = QByteArray(),
                  const QString& outputFile = QString())
{
    QProcess process;
    if (!outputFile.isEmpty())
        process.setStandardOutputFile(outputFile);
    process.start(MORSETOOL, arguments);
    process.write(input);
    process.closeWriteChannel();
    ToolRun run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

/// Every line of @p err is "morsetool COMMAND: message" in printable characters.
void expectMessageForm(const QString& err, const QString& command)
{
    const QRegularExpression form(QStringLiteral("^morsetool %1: [[:print:]]+$").arg(command));
    for (const QString& line : err.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        EXPECT_TRUE(form.match(line).hasMatch()) << qPrintable(line);
}

struct ContractCase
{
    const char* name;
    QStringList arguments;
    QByteArray input;
    int exitCode;
    const char* message; ///< part of the one stderr line; empty: stderr stays empty
};

} // namespace

TEST(MorsetoolContract, EveryCommandExitsWithTheCodeOfWhatHappened)
{
    const ContractCase cases[] = {
        {"help", {"help", "decode"}, "", 0, ""},
        {"help of unknown command", {"help", "nope"}, "", 2, ""},
        {"version", {"--version"}, "", 0, ""},
        {"version of a command", {"encode", "--version"}, "", 0, ""},
        {"help-all is not offered", {"decode", "--help-all"}, "0 3\n", 2, "help-all"},
        {"unknown mode", {"modules", "--mode", "NOPE"}, "", 2, "unknown mode \"NOPE\""},
        {"unknown decoder of codecs", {"codecs", "--decoder", "Nope"}, "", 2, "unknown decoder"},
        {"unknown decoder of codec",
         {"codec", "--decoder", "Nope", "--codec", "KOI8-R - ASCII"},
         "x",
         2,
         "unknown decoder"},
        {"unknown alphabet of encode",
         {"encode", "--alphabet", "Klingon", "E"},
         "",
         2,
         "unknown alphabet \"Klingon\""},
        {"unknown alphabet of translate",
         {"translate", "--alphabet", "Klingon"},
         ".- ",
         2,
         "unknown alphabet \"Klingon\""},
        {"missing input",
         {"decode", "/nonexistent/in.txt"},
         "",
         2,
         "cannot open \"/nonexistent/in.txt\""},
        {"missing marker file",
         {"markers", "/nonexistent/in.txt"},
         "",
         2,
         "cannot open \"/nonexistent/in.txt\""},
        {"pitch on symbol codes",
         {"decode", "--pitch", "600", "-"},
         "0 3\n",
         2,
         "--pitch does not apply"},
        {"start time on symbol codes",
         {"decode", "--start-time", "2024-01-01T00:00:00"},
         "0 3\n",
         2,
         "--start-time does not apply"},
        {"binary in an error", {"markers"}, "0 \x01\xff\x1b[2J 3\n", 2, "\\x01\\xff\\x1b[2J"},
        {"encode reads standard input", {"encode", "-"}, "e e\n", 0, ""},
        {"markers reads time lines", {"markers", SAMPLES + "cq.txt"}, "", 0, ""},
    };
    for (const ContractCase& c : cases) {
        const ToolRun run = morsetool(c.arguments, c.input);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name << ": " << qPrintable(run.err);
        if (*c.message) {
            EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.message)))
                << c.name << ": " << qPrintable(run.err);
        }
        expectMessageForm(run.err, c.arguments.first());
    }
}

TEST(MorsetoolContract, AFailedWriteToStandardOutputExitsWithOne)
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full";
    const struct
    {
        QStringList arguments;
        QByteArray input;
    } cases[] = {
        {{"decode", "-"}, "0 1 3 1 0 0 0 3 4\n"},
        {{"decode", SAMPLES + "cq.txt"}, ""},
        {{"alphabets"}, ""},
        {{"encode", "cq de test"}, ""},
        {{"markers"}, "0 1 3\n"},
        {{"translate", "--alphabet", "International"}, ".- -... "},
        {{"modules"}, ""},
        {{"codecs"}, ""},
        {{"help"}, ""},
    };
    for (const auto& c : cases) {
        const ToolRun run = morsetool(c.arguments, c.input, QStringLiteral("/dev/full"));
        EXPECT_EQ(run.exitCode, 1) << qPrintable(c.arguments.join(' '));
        EXPECT_TRUE(run.err.contains(QStringLiteral("cannot write standard output")))
            << qPrintable(run.err);
    }
}

TEST(MorsetoolContract, ANulByteIsRefusedOrKeptButNeverEndsTheInput)
{
    const ToolRun decoded = morsetool({"decode", "-"}, QByteArray("0 1 3\n\0 1\n0 1 3 4\n", 18));
    EXPECT_EQ(decoded.exitCode, 2);
    EXPECT_EQ(decoded.out, "A\n");
    EXPECT_TRUE(decoded.err.contains(QStringLiteral("line 2: cannot read \"\\x00\"")))
        << qPrintable(decoded.err);

    const ToolRun mapped =
        morsetool({"map", "--decoder", "CW Morse"}, QByteArray("AB\0CD\nE\n", 8));
    EXPECT_EQ(mapped.exitCode, 0) << qPrintable(mapped.err);
    EXPECT_EQ(mapped.out, QByteArray("AB\0CD\nE\n", 8));
}

TEST(MorsetoolDecode, OutputFileIsWrittenButNeverReplaced)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("text.txt"));
    const ToolRun first = morsetool({"decode", "-o", path, "-"}, "0 1 3 1 0 0 0 3 4\n");
    EXPECT_EQ(first.exitCode, 0) << qPrintable(first.err);
    EXPECT_TRUE(first.out.isEmpty());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "AB \n");
    const ToolRun second = morsetool({"decode", "-o", path, "-"}, "0 3\n");
    EXPECT_EQ(second.exitCode, 2);
    EXPECT_TRUE(second.err.contains(QStringLiteral("the file exists"))) << qPrintable(second.err);
    file.seek(0);
    EXPECT_EQ(file.readAll(), "AB \n");
}

#ifdef MORSETOOL_HAVE_CW
TEST(MorsetoolDecode, ARecordingWithoutSignalExitsWithOne)
{
    QTemporaryDir dir;
    const QString silence = dir.filePath(QStringLiteral("silence.wav"));
    ASSERT_EQ(morsetool({"synth", "-o", silence, " "}).exitCode, 0);
    const ToolRun run = morsetool({"decode", silence});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("no Morse signal found"))) << qPrintable(run.err);
    EXPECT_EQ(morsetool({"decode", "--rate", "8000", silence}).exitCode, 2)
        << "--rate is for raw samples";
}
#endif

#ifdef MORSETOOL_HAVE_CW
TEST(MorsetoolDecode, AudioOnStandardInputIsRecognisedByItsContent)
{
    QTemporaryDir dir;
    const ToolRun wav = morsetool({"synth", "-o", "-", "CQ", "DE", "K1ABC"});
    ASSERT_EQ(wav.exitCode, 0) << qPrintable(wav.err);
    ASSERT_TRUE(wav.out.startsWith("RIFF"));
    const QString flac = dir.filePath(QStringLiteral("cq.flac"));
    ASSERT_EQ(morsetool({"synth", "-o", flac, "CQ DE K1ABC"}).exitCode, 0);
    QFile flacFile(flac);
    ASSERT_TRUE(flacFile.open(QIODevice::ReadOnly));
    // The raw samples of the WAV recording: 16-bit, after its 44-byte header.
    const QByteArray raw = wav.out.mid(44);

    const struct
    {
        const char* name;
        QStringList arguments;
        QByteArray input;
        int exitCode;
    } cases[] = {
        {"wav", {"decode", "-"}, wav.out, 0},
        {"flac", {"decode", "-"}, flacFile.readAll(), 0},
        {"raw 16-bit", {"decode", "--rate", "8000", "-"}, raw, 0},
        {"a header's rate is known", {"decode", "--rate", "8000", "-"}, wav.out, 2},
        {"raw format without a rate", {"decode", "--sample-format", "f32", "-"}, raw, 2},
    };
    for (const auto& c : cases) {
        const ToolRun run = morsetool(c.arguments, c.input);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name << ": " << qPrintable(run.err);
        if (c.exitCode == 0) {
            EXPECT_EQ(run.out.simplified(), "CQ DE K1ABC") << c.name;
            EXPECT_TRUE(run.err.contains(QStringLiteral("standard input: tone 699.9 Hz")))
                << qPrintable(run.err);
        }
        expectMessageForm(run.err, QStringLiteral("decode"));
    }
}
#endif
