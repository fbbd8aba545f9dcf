// Reading and writing recordings, and what morsetool makes of bad ones.

#include "cwbenchsupport.h"

#include "tools/cwdemodulator/audiofilereader.h"
#include "tools/cwdemodulator/audiofilewriter.h"
#include "tools/cwdemodulator/cwsynthesizer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef MORSETOOL_PATH
constexpr bool HAVE_MORSETOOL = true;
#else
#define MORSETOOL_PATH ""
constexpr bool HAVE_MORSETOOL = false;
#endif

namespace {

QString decodeAll(cw::AudioFileReader& reader)
{
    std::vector<float> samples;
    std::vector<float> block(1000);
    for (qint64 count; (count = reader.Read(block.data(), qint64(block.size()))) > 0;)
        samples.insert(samples.end(), block.begin(), block.begin() + count);
    return cwbench::normalized(cwbench::codesToText(cwbench::demodulate(samples, 8000)));
}

/// Writes "CQ DE TEST" at 25 WPM to @p path.
bool writeCq(const QString& path)
{
    cw::CwSynthesizer::Settings settings;
    settings.dWpm = 25.0;
    cw::CwSynthesizer synthesizer(settings);
    synthesizer.SetText(QStringLiteral("CQ DE TEST"));
    const std::vector<float> samples = synthesizer.RenderAll();
    cw::AudioFileWriter writer;
    return writer.Open(path, 8000) && writer.Write(samples.data(), qint64(samples.size())) &&
           writer.Commit();
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

/// Runs morsetool and returns its exit code.
int morsetool(const QStringList& arguments, QByteArray* pOutput = nullptr,
              QByteArray* pErrors = nullptr)
{
    QProcess tool;
    tool.start(QStringLiteral(MORSETOOL_PATH), arguments);
    tool.waitForFinished(60000);
    if (pOutput)
        *pOutput = tool.readAllStandardOutput();
    if (pErrors)
        *pErrors = tool.readAllStandardError();
    return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
}

} // namespace

TEST(CwAudioFiles, RecordingsRoundTripInEveryWrittenFormat)
{
    QTemporaryDir dir;
    for (const char* name : {"cq.wav", "cq.flac", "cq.ogg"}) {
        ASSERT_TRUE(writeCq(dir.filePath(name))) << name;
        cw::AudioFileReader reader;
        ASSERT_TRUE(reader.Open(dir.filePath(name))) << qPrintable(reader.ErrorString());
        EXPECT_EQ(reader.SampleRate(), 8000);
        EXPECT_EQ(decodeAll(reader), QStringLiteral("CQ DE TEST")) << name;
    }
}

TEST(CwAudioFiles, ExistingFileIsNeverReplaced)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kept.wav"));
    ASSERT_TRUE(put(path, "keep me"));
    cw::AudioFileWriter writer;
    EXPECT_FALSE(writer.Open(path, 8000));
    EXPECT_FALSE(writer.ErrorString().isEmpty());
    EXPECT_EQ(contents(path), QByteArray("keep me"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    if (HAVE_MORSETOOL) {
        EXPECT_EQ(morsetool({"synth", "CQ", "-o", path}), 1);
        EXPECT_EQ(contents(path), QByteArray("keep me"));
    }
}

TEST(CwAudioFiles, EmptyTruncatedAndForeignFilesAreRefusedClearly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(writeCq(dir.filePath("whole.wav")));
    const QByteArray bytes = contents(dir.filePath("whole.wav"));
    const struct
    {
        const char* name;
        QByteArray content;
        const char* reason;
        bool audio;
    } cases[] = {
        {"empty.wav", QByteArray(), "empty", true},
        {"third.wav", bytes.left(bytes.size() / 3), "truncated", true},
        {"half.wav", bytes.left(bytes.size() / 2), "truncated", true},
        {"codes.txt", QByteArray("0 1 3\n"), "not a readable audio file", false},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(c.name);
        ASSERT_TRUE(put(path, c.content));
        cw::AudioFileReader reader;
        EXPECT_FALSE(reader.Open(path)) << c.name;
        EXPECT_TRUE(reader.ErrorString().contains(c.reason)) << qPrintable(reader.ErrorString());
        EXPECT_EQ(cw::AudioFileReader::LooksLikeAudio(path), c.audio) << c.name;
        QByteArray errors;
        if (c.audio && HAVE_MORSETOOL) { // morsetool exits with 2 and names the file
            EXPECT_EQ(morsetool({"decode", path}, nullptr, &errors), 2) << c.name;
            EXPECT_TRUE(errors.contains(c.name)) << errors.constData();
        }
    }
}

TEST(CwAudioFiles, FirstChannelOfAStereoFileIsRead)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("stereo.wav"));
    ASSERT_TRUE(writeCq(dir.filePath("mono.wav")));
    const QString remix =
        QStringLiteral("command -v sox >/dev/null || exit 0; sox '%1' '%2' remix 1 0");
    ASSERT_EQ(QProcess::execute("sh", {"-c", remix.arg(dir.filePath("mono.wav"), path)}), 0);
    if (!QFile::exists(path))
        GTEST_SKIP() << "sox is not installed";
    cw::AudioFileReader reader; // left: the signal; right: silence
    ASSERT_TRUE(reader.Open(path));
    EXPECT_EQ(reader.Channels(), 2);
    EXPECT_EQ(decodeAll(reader), QStringLiteral("CQ DE TEST"));
}

TEST(CwMorsetool, SynthesizedRecordingDecodesWithItsToneAndSpeed)
{
    if (!HAVE_MORSETOOL)
        GTEST_SKIP() << "morsetool is not built";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("qso.flac"));
    ASSERT_EQ(morsetool({"synth", "CQ DE G4XYZ\nG4XYZ DE K1ABC", "--wpm", "25", "--snr", "6", "-o",
                         path}),
              0);
    EXPECT_EQ(morsetool({"synth", "CQ {", "-o", dir.filePath("new.wav")}), 2);
    QByteArray output;
    QByteArray errors;
    EXPECT_EQ(morsetool({"decode", path}, &output, &errors), 0);
    EXPECT_EQ(output.simplified(), QByteArray("CQ DE G4XYZ G4XYZ DE K1ABC"));
    EXPECT_TRUE(errors.contains("tone 700.")) << errors.constData();
    EXPECT_TRUE(errors.contains("WPM")) << errors.constData();
}

TEST(CwMorsetool, SavedLineTimesComeFromTheRecordingsStartAndPosition)
{
    // "CQ" at 20 WPM after half a second ends at 2.12 s; the line ends after 3 s of silence.
    if (!HAVE_MORSETOOL)
        GTEST_SKIP() << "morsetool is not built";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lines.wav"));
    const QDir save(dir.filePath(QStringLiteral("session")));
    ASSERT_EQ(morsetool({"synth", "CQ\nDE", "-o", path}), 0);
    ASSERT_EQ(
        morsetool({"decode", "--save", save.path(), "--start-time", "2024-05-01T12:00:00", path}),
        0);
    const QStringList texts = save.entryList({QStringLiteral("*__Default.txt")}, QDir::Files);
    ASSERT_EQ(texts.size(), 1);
    const QByteArray content = contents(save.filePath(texts.first()));
    EXPECT_TRUE(content.contains("[Stop Time:  12:00:02.1")) << content.constData();
    EXPECT_TRUE(content.contains("[Start Time:  12:00:05.1")) << content.constData();
}
