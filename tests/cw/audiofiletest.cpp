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

namespace {

std::vector<float> readAll(cw::AudioFileReader& reader)
{
    std::vector<float> samples;
    std::vector<float> block(1000);
    qint64 count = 0;
    while ((count = reader.Read(block.data(), qint64(block.size()))) > 0)
        samples.insert(samples.end(), block.begin(), block.begin() + count);
    return samples;
}

bool write(const QString& path, const std::vector<float>& samples, int rate = 8000)
{
    cw::AudioFileWriter writer;
    return writer.Open(path, rate) && writer.Write(samples.data(), qint64(samples.size())) &&
           writer.Commit();
}

std::vector<float> cq()
{
    cw::CwSynthesizer::Settings settings;
    settings.dWpm = 25.0;
    cw::CwSynthesizer synthesizer(settings);
    synthesizer.SetText(QStringLiteral("CQ DE TEST"));
    return synthesizer.RenderAll();
}

} // namespace

TEST(CwAudioFiles, RecordingsRoundTripInEveryWrittenFormat)
{
    QTemporaryDir dir;
    for (const char* name : {"cq.wav", "cq.flac", "cq.ogg"}) {
        const QString path = dir.filePath(QLatin1String(name));
        ASSERT_TRUE(write(path, cq())) << name;
        cw::AudioFileReader reader;
        ASSERT_TRUE(reader.Open(path)) << qPrintable(reader.ErrorString());
        EXPECT_EQ(reader.SampleRate(), 8000);
        const std::vector<float> samples = readAll(reader);
        EXPECT_EQ(cwbench::normalized(cwbench::codesToText(cwbench::demodulate(samples, 8000))),
                  QStringLiteral("CQ DE TEST"))
            << name;
    }
}

TEST(CwAudioFiles, WriterNeverReplacesAFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kept.wav"));
    QFile existing(path);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("keep me");
    existing.close();
    cw::AudioFileWriter writer;
    EXPECT_FALSE(writer.Open(path, 8000));
    EXPECT_FALSE(writer.ErrorString().isEmpty());
    ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
    EXPECT_EQ(existing.readAll(), QByteArray("keep me"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
}

TEST(CwAudioFiles, EmptyTruncatedAndForeignFilesAreRefusedClearly)
{
    QTemporaryDir dir;
    const QString whole = dir.filePath(QStringLiteral("whole.wav"));
    ASSERT_TRUE(write(whole, cq()));
    QFile source(whole);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    const struct
    {
        const char* name;
        QByteArray content;
        const char* reason;
    } cases[] = {
        {"empty.wav", QByteArray(), "empty"},
        {"cut.wav", bytes.left(bytes.size() / 3), "truncated"},
        {"codes.txt", QByteArray("0 1 3\n"), "not a readable audio file"},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(QLatin1String(c.name));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.content);
        file.close();
        cw::AudioFileReader reader;
        EXPECT_FALSE(reader.Open(path)) << c.name;
        EXPECT_TRUE(reader.ErrorString().contains(QLatin1String(c.reason)))
            << qPrintable(reader.ErrorString());
    }
    EXPECT_TRUE(cw::AudioFileReader::LooksLikeAudio(dir.filePath(QStringLiteral("empty.wav"))));
    EXPECT_FALSE(cw::AudioFileReader::LooksLikeAudio(dir.filePath(QStringLiteral("codes.txt"))));
}

TEST(CwAudioFiles, FirstChannelOfAStereoFileIsRead)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("stereo.wav"));
    const QString mono = dir.filePath(QStringLiteral("mono.wav"));
    ASSERT_TRUE(write(mono, cq()));
    // Left: the signal; right: silence.
    ASSERT_EQ(QProcess::execute(
                  QStringLiteral("sh"),
                  {QStringLiteral("-c"), QStringLiteral("command -v sox >/dev/null || exit 0; "
                                                        "sox '%1' '%2' remix 1 0")
                                             .arg(mono, path)}),
              0);
    if (!QFile::exists(path))
        GTEST_SKIP() << "sox is not installed";
    cw::AudioFileReader reader;
    ASSERT_TRUE(reader.Open(path));
    EXPECT_EQ(reader.Channels(), 2);
    EXPECT_EQ(cwbench::normalized(cwbench::codesToText(cwbench::demodulate(readAll(reader), 8000))),
              QStringLiteral("CQ DE TEST"));
}

#ifdef MORSETOOL_PATH
namespace {

int runMorsetool(const QStringList& arguments, QByteArray* pOutput = nullptr,
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

TEST(CwMorsetool, SynthesizedRecordingDecodesWithItsToneAndSpeed)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("qso.flac"));
    ASSERT_EQ(runMorsetool({QStringLiteral("synth"), QStringLiteral("CQ DE G4XYZ\nG4XYZ DE K1ABC"),
                            QStringLiteral("--wpm"), QStringLiteral("25"), QStringLiteral("--snr"),
                            QStringLiteral("6"), QStringLiteral("-o"), path}),
              0);
    QByteArray output;
    QByteArray errors;
    EXPECT_EQ(runMorsetool({QStringLiteral("decode"), path}, &output, &errors), 0);
    EXPECT_EQ(output.simplified(), QByteArray("CQ DE G4XYZ G4XYZ DE K1ABC"));
    EXPECT_TRUE(errors.contains("tone 700.")) << errors.constData();
    EXPECT_TRUE(errors.contains("WPM")) << errors.constData();
}

TEST(CwMorsetool, SavedLineTimesComeFromTheRecordingsStartAndPosition)
{
    // "CQ" at 20 WPM after half a second ends at 2.12 s; the line ends after 3 s of silence.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lines.wav"));
    ASSERT_EQ(runMorsetool(
                  {QStringLiteral("synth"), QStringLiteral("CQ\nDE"), QStringLiteral("-o"), path}),
              0);
    const QString save = dir.filePath(QStringLiteral("session"));
    ASSERT_EQ(
        runMorsetool({QStringLiteral("decode"), QStringLiteral("--save"), save,
                      QStringLiteral("--start-time"), QStringLiteral("2024-05-01T12:00:00"), path}),
        0);
    const QStringList texts = QDir(save).entryList({QStringLiteral("*__Default.txt")}, QDir::Files);
    ASSERT_EQ(texts.size(), 1);
    QFile text(QDir(save).filePath(texts.first()));
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    const QByteArray content = text.readAll();
    EXPECT_TRUE(content.contains("[Stop Time:  12:00:02.1")) << content.constData();
    EXPECT_TRUE(content.contains("[Start Time:  12:00:05.1")) << content.constData();
}

TEST(CwMorsetool, EmptyOrTruncatedRecordingIsRefusedWithExitCodeTwo)
{
    QTemporaryDir dir;
    const QString whole = dir.filePath(QStringLiteral("whole.wav"));
    ASSERT_TRUE(write(whole, cq()));
    QFile source(whole);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    for (const auto& c : {std::make_pair("empty.wav", QByteArray()),
                          std::make_pair("cut.wav", bytes.left(bytes.size() / 2))}) {
        const QString path = dir.filePath(QLatin1String(c.first));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.second);
        file.close();
        QByteArray errors;
        EXPECT_EQ(runMorsetool({QStringLiteral("decode"), path}, nullptr, &errors), 2) << c.first;
        EXPECT_TRUE(errors.contains(c.first)) << errors.constData();
    }
}

TEST(CwMorsetool, SynthRefusesToReplaceAFileAndUnknownCharacters)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("taken.wav"));
    ASSERT_TRUE(write(path, cq()));
    EXPECT_EQ(
        runMorsetool({QStringLiteral("synth"), QStringLiteral("CQ"), QStringLiteral("-o"), path}),
        1);
    EXPECT_EQ(runMorsetool({QStringLiteral("synth"), QStringLiteral("CQ {"), QStringLiteral("-o"),
                            dir.filePath(QStringLiteral("new.wav"))}),
              2);
}
#endif
