// The contract that every morsetool command keeps: exit codes, one message form, write errors
// told, and input bytes never silently dropped.

#include "morsetoolrun.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

const QString SAMPLES = QStringLiteral(MORSE_BUNDLED_DATA_DIR "/samples/");

/// Every line of @p err is "morsetool COMMAND: message" in printable characters.
void expectMessageForm(const QString& err, const QString& command)
{
    const QRegularExpression form(QStringLiteral("^morsetool %1: [[:print:]]+$").arg(command));
    for (const QString& line : err.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        EXPECT_TRUE(form.match(line).hasMatch()) << qPrintable(line);
}

struct ContractCase
{
    QStringList arguments;
    QByteArray input;
    int exitCode;
    const char* message; ///< part of the one stderr line; empty: stderr stays empty
};

} // namespace

TEST(MorsetoolContract, EveryCommandExitsWithTheCodeOfWhatHappened)
{
    const ContractCase cases[] = {
        {{"help", "decode"}, "", 0, ""},
        {{"help", "nope"}, "", 2, ""},
        {{"--version"}, "", 0, ""},
        {{"encode", "--version"}, "", 0, ""},
        {{"decode", "--help-all"}, "0 3\n", 2, "help-all"}, // not offered
        {{"modules", "--mode", "NOPE"}, "", 2, "unknown mode \"NOPE\""},
        {{"modules", "stray"}, "", 2, "unexpected argument \"stray\""},
        {{"codecs", "--decoder", "Nope"}, "", 2, "unknown decoder"},
        {{"codec", "--decoder", "Nope", "--codec", "KOI8-R - ASCII"}, "x", 2, "unknown decoder"},
        {{"encode", "--alphabet", "Klingon", "E"}, "", 2, "unknown alphabet \"Klingon\""},
        {{"decode", "--alphabet", "Klingon"}, "0 3\n", 2, "no alphabet \"Klingon\""},
        {{"translate", "--alphabet", "Klingon"}, ".- ", 2, "unknown alphabet \"Klingon\""},
        {{"decode", "/nonexistent/in.txt"}, "", 2, "cannot open \"/nonexistent/in.txt\""},
        {{"markers", "/nonexistent/in.txt"}, "", 2, "cannot open \"/nonexistent/in.txt\""},
        {{"decode", "-"}, "0 1 3\nhello\n", 2, "line 2"},
        {{"markers"}, "0, 1, dot\n", 2, ""},
        {{"translate"}, ".- ", 2, ""}, // needs an alphabet
        {{"alphabets", "--alphabets", "/nonexistent"}, "", 2, ""},
        {{"decode", "--pitch", "600", "-"}, "0 3\n", 2, "--pitch does not apply"},
        {{"decode", "--start-time", "2024-01-01T00:00:00"},
         "0 3\n",
         2,
         "--start-time does not apply"},
        {{"markers"}, "0 \x01\xff\x1b[2J 3\n", 2, "\\x01\\xff\\x1b[2J"}, // binary, escaped
        {{"encode", "-"}, "e e\n", 0, ""},
        {{"encode", "--alphabet", "International", "a@b"}, "", 0, ""},
        {{"encode", "a@b"}, "", 2, "no Morse code for '@'"}, // not in the built-in alphabet
        {{"translate", "--alphabet", "International", "-", "-"}, ".- ", 0, ""},
        {{"markers", SAMPLES + "cq.txt"}, "", 0, ""},
    };
    for (const ContractCase& c : cases) {
        const MorsetoolRun run = runMorsetool(c.arguments, c.input);
        SCOPED_TRACE(qPrintable(c.arguments.join(' ')));
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.constData();
        if (*c.message) {
            EXPECT_TRUE(run.err.contains(c.message)) << run.err.constData();
        }
        expectMessageForm(run.error(), c.arguments.first());
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
        const MorsetoolRun run =
            runMorsetool(c.arguments, c.input, {}, QStringLiteral("/dev/full"));
        EXPECT_EQ(run.exitCode, 1) << qPrintable(c.arguments.join(' '));
        EXPECT_TRUE(run.err.contains("cannot write standard output")) << run.err.constData();
    }
}

TEST(MorsetoolContract, ANulByteIsRefusedOrKeptButNeverEndsTheInput)
{
    const MorsetoolRun decoded =
        runMorsetool({"decode", "-"}, QByteArray("0 1 3\n\0 1\n0 1 3 4\n", 18));
    EXPECT_EQ(decoded.exitCode, 2);
    EXPECT_EQ(decoded.out, "A\n");
    EXPECT_TRUE(decoded.err.contains("line 2: cannot read \"\\x00\"")) << decoded.err.constData();

    const MorsetoolRun mapped =
        runMorsetool({"map", "--decoder", "CW Morse"}, QByteArray("AB\0CD\nE\n", 8));
    EXPECT_EQ(mapped.exitCode, 0) << mapped.err.constData();
    EXPECT_EQ(mapped.out, QByteArray("AB\0CD\nE\n", 8));
}

TEST(MorsetoolDecode, OutputFileIsWrittenButNeverReplaced)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("text.txt"));
    const MorsetoolRun first = runMorsetool({"decode", "-o", path, "-"}, "0 1 3 1 0 0 0 3 4\n");
    EXPECT_EQ(first.exitCode, 0) << first.err.constData();
    EXPECT_TRUE(first.out.isEmpty());
    EXPECT_EQ(testfiles::contentOf(path), "AB \n");
    const MorsetoolRun second = runMorsetool({"decode", "-o", path, "-"}, "0 3\n");
    EXPECT_EQ(second.exitCode, 2);
    EXPECT_TRUE(second.err.contains("the file exists")) << second.err.constData();
    EXPECT_EQ(testfiles::contentOf(path), "AB \n");
}

#ifdef MORSETOOL_HAVE_CW
TEST(MorsetoolSynth, SendsTextFromStandardInputThroughAnAlphabetFile)
{
    const MorsetoolRun builtIn = runMorsetool({"synth", "-o", "-"}, "a@b\n");
    EXPECT_EQ(builtIn.exitCode, 2) << "the built-in alphabet has no @";
    const MorsetoolRun wav =
        runMorsetool({"synth", "--alphabet", "International", "-o", "-"}, "a@b\n");
    ASSERT_EQ(wav.exitCode, 0) << wav.err.constData();
    const MorsetoolRun text = runMorsetool({"decode", "--alphabet", "International", "-"}, wav.out);
    EXPECT_EQ(text.out.simplified(), "A@B") << text.err.constData();
}

TEST(MorsetoolDecode, ARecordingWithoutSignalExitsWithOne)
{
    QTemporaryDir dir;
    const QString silence = dir.filePath(QStringLiteral("silence.wav"));
    ASSERT_EQ(runMorsetool({"synth", "-o", silence, " "}).exitCode, 0);
    const MorsetoolRun run = runMorsetool({"decode", silence});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("no Morse signal found")) << run.err.constData();
    EXPECT_EQ(runMorsetool({"decode", "--rate", "8000", silence}).exitCode, 2)
        << "--rate is for raw samples";
}
#endif

#ifdef MORSETOOL_HAVE_CW
TEST(MorsetoolDecode, AudioOnStandardInputIsRecognisedByItsContent)
{
    QTemporaryDir dir;
    const MorsetoolRun wav = runMorsetool({"synth", "-o", "-", "CQ", "DE", "K1ABC"});
    ASSERT_EQ(wav.exitCode, 0) << wav.err.constData();
    ASSERT_TRUE(wav.out.startsWith("RIFF"));
    const QString flac = dir.filePath(QStringLiteral("cq.flac"));
    ASSERT_EQ(runMorsetool({"synth", "-o", flac, "CQ DE K1ABC"}).exitCode, 0);
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
        {"flac", {"decode", "-"}, testfiles::contentOf(flac), 0},
        {"raw 16-bit", {"decode", "--rate", "8000", "-"}, raw, 0},
        {"a header's rate is known", {"decode", "--rate", "8000", "-"}, wav.out, 2},
        {"raw format without a rate", {"decode", "--sample-format", "f32", "-"}, raw, 2},
    };
    for (const auto& c : cases) {
        const MorsetoolRun run = runMorsetool(c.arguments, c.input);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name << ": " << run.err.constData();
        if (c.exitCode == 0) {
            EXPECT_EQ(run.out.simplified(), "CQ DE K1ABC") << c.name;
            EXPECT_TRUE(run.err.contains("standard input: tone 699.9 Hz")) << run.err.constData();
            EXPECT_TRUE(run.err.contains("WPM")) << run.err.constData();
        }
        expectMessageForm(run.error(), QStringLiteral("decode"));
    }
}
#endif

namespace {

QList<QJsonObject> jsonLines(const QByteArray& out)
{
    QList<QJsonObject> objects;
    for (const QByteArray& line : out.split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.constData();
        objects << document.object();
    }
    return objects;
}

} // namespace

TEST(MorsetoolDecode, JsonLinesCarryTheTimesAndTextOfEachLine)
{
    const MorsetoolRun run = runMorsetool({"decode", "--format", "jsonl", SAMPLES + "cq.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QList<QJsonObject> lines = jsonLines(run.out);
    ASSERT_GE(lines.size(), 3);
    const QJsonObject first = lines.first();
    EXPECT_EQ(first.value("text").toString(), QStringLiteral("CQ CQ CQ DE DL1ABC DL1ABC K"));
    EXPECT_EQ(first.value("start").toString(), QStringLiteral("2023-11-14T22:13:20.000Z"));
    EXPECT_EQ(first.value("start_s").toDouble(), 0.0);
    EXPECT_EQ(first.value("alphabet").toString(), QStringLiteral("International"));
    EXPECT_TRUE(first.value("pitch_hz").isNull()) << "symbol codes carry no tone";
    double previousEnd = 0.0;
    for (const QJsonObject& line : lines) {
        const QDateTime start = QDateTime::fromString(line.value("start").toString(), Qt::ISODate);
        const QDateTime end = QDateTime::fromString(line.value("end").toString(), Qt::ISODate);
        EXPECT_TRUE(start.isValid() && end.isValid() && start <= end);
        EXPECT_GE(line.value("start_s").toDouble(), previousEnd);
        EXPECT_NEAR(line.value("end_s").toDouble() - line.value("start_s").toDouble(),
                    start.msecsTo(end) / 1000.0, 0.001);
        previousEnd = line.value("end_s").toDouble();
    }
}

#ifdef MORSETOOL_HAVE_CW
TEST(MorsetoolDecode, JsonLinesOfARecordingTellToneSpeedAndSignalToNoise)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("qso.wav"));
    ASSERT_EQ(runMorsetool({"synth", "--snr", "10", "--wpm", "25", "-o", path, "CQ DE K1ABC\nK"})
                  .exitCode,
              0);
    const MorsetoolRun run =
        runMorsetool({"decode", "--format", "jsonl", "--start-time", "2024-05-01T12:00:00", path});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QList<QJsonObject> lines = jsonLines(run.out);
    ASSERT_EQ(lines.size(), 2);
    const QJsonObject first = lines.first();
    EXPECT_EQ(first.value("text").toString(), QStringLiteral("CQ DE K1ABC"));
    EXPECT_NEAR(first.value("pitch_hz").toDouble(), 700.0, 5.0);
    EXPECT_NEAR(first.value("wpm").toDouble(), 25.0, 2.0);
    EXPECT_GT(first.value("snr_db").toDouble(), 10.0);
    EXPECT_NEAR(first.value("start_s").toDouble(), 0.5, 0.2) << "after the half-second lead-in";
    EXPECT_TRUE(first.value("start").toString().startsWith("2024-05-01T12:00:00."));
    EXPECT_GT(lines.last().value("start_s").toDouble(), first.value("end_s").toDouble());
}
#endif

TEST(MorsetoolDecode, ABatchWritesOneFilePerInputNeverReplacingOne)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    for (const auto& [name, content] : {std::pair{"a.codes", "0 1 3 4\n"},
                                        {"b.codes", "1 0 0 0 3 4\n"},
                                        {"c.codes", "0 x 3\n"},
                                        {"out/b.codes.txt", "kept\n"}})
        testfiles::writeFile(dir.filePath(QLatin1String(name)), content);

    const MorsetoolRun run = runMorsetool(
        {"decode", "-j", "2", "--output-dir", out, dir.filePath(QStringLiteral("*.codes"))});
    EXPECT_EQ(run.exitCode, 2) << "the worst of the inputs";
    EXPECT_EQ(testfiles::contentOf(QDir(out).filePath(QStringLiteral("a.codes.txt"))), "A \n");
    EXPECT_EQ(testfiles::contentOf(QDir(out).filePath(QStringLiteral("b.codes.txt"))), "kept\n");
    EXPECT_TRUE(run.err.contains("the file exists")) << run.err.constData();
    EXPECT_TRUE(run.err.contains("c.codes: line 1")) << run.err.constData();
    EXPECT_TRUE(run.err.contains("3 inputs: 1 decoded, 2 failed")) << run.err.constData();
    expectMessageForm(run.error(), QStringLiteral("decode"));
}
