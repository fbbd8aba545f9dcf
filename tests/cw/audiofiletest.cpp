// Reading and writing recordings, and what morsetool makes of bad ones.

#include "cwbenchsupport.h"
#include "morsetoolrun.h"
#include "testfiles.h"

#include "tools/cwdemodulator/audiofilereader.h"
#include "tools/cwdemodulator/audiofilewriter.h"
#include "tools/cwdemodulator/cwsynthesizer.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

QString decodeAll(cw::AudioFileReader& reader)
{
    std::vector<float> samples;
    std::vector<float> block(1000);
    for (qint64 count; (count = reader.Read(block.data(), qint64(block.size()))) > 0;)
        samples.insert(samples.end(), block.begin(), block.begin() + count);
    return cwbench::normalized(cwbench::codesToText(cwbench::demodulate(samples, 8000)));
}

/// Writes @p text ("CQ DE TEST" unless given) at 25 WPM to @p path.
bool writeCq(const QString& path, const QString& text = QStringLiteral("CQ DE TEST"))
{
    cw::CwSynthesizer::Settings settings;
    settings.dWpm = 25.0;
    cw::CwSynthesizer synthesizer(settings);
    synthesizer.SetText(text);
    return cwbench::writeAudio(path, synthesizer.RenderAll(), 8000);
}

} // namespace

TEST(CwAudioFiles, ExistingFileIsNeverReplaced)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kept.wav"));
    testfiles::writeFile(path, "keep me");
    cw::AudioFileWriter writer;
    EXPECT_FALSE(writer.Open(path, 8000));
    EXPECT_FALSE(writer.ErrorString().isEmpty());
    EXPECT_EQ(testfiles::contentOf(path), QByteArray("keep me"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    if (HAVE_MORSETOOL) {
        EXPECT_EQ(runMorsetool({"synth", "CQ", "-o", path}).exitCode, 1);
        EXPECT_EQ(testfiles::contentOf(path), QByteArray("keep me"));
    }
}

TEST(CwAudioFiles, EmptyAndForeignFilesAreRefusedClearly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(writeCq(dir.filePath("whole.ogg")));
    const QByteArray ogg = testfiles::contentOf(dir.filePath("whole.ogg"));
    const struct
    {
        const char* name;
        QByteArray content;
        const char* reason;
        bool audio;
    } cases[] = {
        {"empty.wav", QByteArray(), "empty", true},
        {"short.ogg", ogg.left(200), "not a readable audio file", true},
        {"short.bin", ogg.left(200), "not a readable audio file", true},
        {"codes.txt", QByteArray("0 1 3\n"), "not a readable audio file", false},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(c.name);
        testfiles::writeFile(path, c.content);
        cw::AudioFileReader reader;
        EXPECT_FALSE(reader.Open(path)) << c.name;
        EXPECT_TRUE(reader.ErrorString().contains(c.reason)) << qPrintable(reader.ErrorString());
        EXPECT_EQ(cw::AudioFileReader::LooksLikeAudio(path), c.audio) << c.name;
        if (c.audio && HAVE_MORSETOOL) { // morsetool exits with 2 and names the file
            const MorsetoolRun run = runMorsetool({"decode", path});
            EXPECT_EQ(run.exitCode, 2) << c.name;
            EXPECT_TRUE(run.err.contains(c.name)) << run.err.constData();
        }
    }
}

/// What the reader finds missing from @p bytes read as a stream (as from standard input).
QString streamShortfall(QByteArray bytes)
{
    QBuffer stream(&bytes);
    stream.open(QIODevice::ReadOnly);
    cw::AudioFileReader reader;
    if (!reader.OpenStream(&stream, QStringLiteral("standard input")))
        return QStringLiteral("cannot open: ") + reader.ErrorString();
    std::vector<float> block(4096);
    while (reader.Read(block.data(), 4096) > 0) {
    }
    return reader.Shortfall();
}

/// @p wav with the length of its data chunk set to @p length bytes.
QByteArray withDataLength(QByteArray wav, quint32 length)
{
    const int at = wav.indexOf("data") + 4;
    for (int i = 0; i < 4; ++i)
        wav[at + i] = char((length >> (8 * i)) & 0xFF);
    return wav;
}

TEST(CwAudioFiles, RecordingsCutShortDecodeWhatIsThereAndTellTheShortfall)
{
    QTemporaryDir dir;
    QByteArray whole[3];
    const char* const formats[] = {"wav", "flac", "ogg"};
    // Long enough that half of each file holds whole frames of samples: an Ogg page holds
    // about eight seconds.
    const QString text = QStringLiteral("CQ CQ CQ DE TEST TEST TEST K");
    for (int i = 0; i < 3; ++i) {
        const QString name = QStringLiteral("whole.") + formats[i];
        ASSERT_TRUE(writeCq(dir.filePath(name), i == 2 ? text + ' ' + text + ' ' + text : text));
        whole[i] = testfiles::contentOf(dir.filePath(name));
        cw::AudioFileReader reader; // a whole recording reads back and has no shortfall
        ASSERT_TRUE(reader.Open(dir.filePath(name))) << qPrintable(reader.ErrorString());
        EXPECT_EQ(reader.SampleRate(), 8000);
        EXPECT_TRUE(decodeAll(reader).startsWith(text)) << qPrintable(name);
        EXPECT_TRUE(reader.Shortfall().isEmpty()) << qPrintable(reader.Shortfall());
        EXPECT_EQ(streamShortfall(whole[i]), QString()) << qPrintable(name);
    }
    const struct
    {
        const char* name;
        QByteArray content;
    } cases[] = {
        {"half.wav", whole[0].left(whole[0].size() / 2)},
        {"half.flac", whole[1].left(whole[1].size() / 2)},
        {"half.ogg", whole[2].left(whole[2].size() / 2)},
        {"half-flac.dat", whole[1].left(whole[1].size() / 2)},
        {"promises-more.wav", withDataLength(whole[0], quint32(whole[0].size()) * 4)},
        {"corrupt.flac",
         whole[1].left(whole[1].size() / 2) + QByteArray(whole[1].size() / 2, '\x5A')},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(c.name);
        testfiles::writeFile(path, c.content);
        EXPECT_TRUE(cw::AudioFileReader::LooksLikeAudio(path)) << c.name;
        cw::AudioFileReader reader;
        ASSERT_TRUE(reader.Open(path)) << c.name << ": " << qPrintable(reader.ErrorString());
        std::vector<float> block(4096);
        qint64 samples = 0;
        for (qint64 count; (count = reader.Read(block.data(), 4096)) > 0;)
            samples += count;
        EXPECT_GT(samples, 0) << c.name;
        EXPECT_FALSE(reader.Shortfall().isEmpty()) << c.name;
        // The same bytes on standard input are held to their header as the file is.
        EXPECT_FALSE(streamShortfall(c.content).isEmpty()) << c.name;
        if (HAVE_MORSETOOL) { // what is there is decoded; the shortfall makes the exit code 1
            const MorsetoolRun file = runMorsetool({"decode", path});
            EXPECT_EQ(file.exitCode, 1) << c.name;
            EXPECT_TRUE(file.err.contains("decoded what is there")) << file.err.constData();
            const MorsetoolRun piped = runMorsetool({"decode", "-"}, c.content);
            EXPECT_EQ(piped.exitCode, 1) << c.name;
            EXPECT_TRUE(piped.err.contains("standard input: decoded what is there"))
                << piped.err.constData();
        }
    }
}

TEST(CwAudioFiles, PlaceholderLengthsOfStreamingWritersPromiseNothingOnStandardInput)
{
    // A writer on a pipe cannot go back to fill in the data length: it leaves the largest one.
    QTemporaryDir dir;
    ASSERT_TRUE(writeCq(dir.filePath(QStringLiteral("cq.wav"))));
    const QByteArray wav = testfiles::contentOf(dir.filePath(QStringLiteral("cq.wav")));
    for (const quint32 placeholder : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x7FFFF000u}) {
        const QByteArray live = withDataLength(wav, placeholder);
        EXPECT_EQ(streamShortfall(live), QString()) << placeholder;
        if (HAVE_MORSETOOL) {
            EXPECT_EQ(runMorsetool({"decode", "-"}, live).exitCode, 0) << placeholder;
        }
    }
}

TEST(CwMorsetool, SampleRatesAndFrequenciesOutOfRangeAreRefusedWithTheRightWords)
{
    if (!HAVE_MORSETOOL)
        GTEST_SKIP() << "morsetool is not built";
    QTemporaryDir dir;
    const QString fast = dir.filePath(QStringLiteral("fast.wav"));
    ASSERT_TRUE(writeCq(dir.filePath("cq.wav")));
    QByteArray wav = testfiles::contentOf(dir.filePath("cq.wav"));
    const int rateAt = wav.indexOf("fmt ") + 12; // size, format tag and channels come first
    const quint32 rate = 10000000;
    for (int i = 0; i < 4; ++i)
        wav[rateAt + i] = char((rate >> (8 * i)) & 0xFF);
    testfiles::writeFile(fast, wav);
    const MorsetoolRun tooFast = runMorsetool({"decode", fast});
    EXPECT_EQ(tooFast.exitCode, 2);
    EXPECT_TRUE(tooFast.err.contains("too high")) << tooFast.err.constData();
    EXPECT_TRUE(tooFast.err.contains("768000")) << tooFast.err.constData();
    const QString codes = dir.filePath(QStringLiteral("codes.txt"));
    testfiles::writeFile(codes, "0 1 3\n");
    for (const char* frequency : {"nan", "inf", "-inf", "-1", "1e400"}) {
        const MorsetoolRun run =
            runMorsetool({"decode", "--save", dir.filePath("s"), "--frequency", frequency, codes});
        EXPECT_EQ(run.exitCode, 2) << frequency;
        EXPECT_TRUE(run.err.contains("--frequency expects")) << run.err.constData();
    }
    EXPECT_FALSE(QDir(dir.filePath("s")).exists()) << "nothing saved for a refused frequency";
}

TEST(CwMorsetool, PathsWithBytesThatAreNotUtf8AreRefusedClearly)
{
    if (!HAVE_MORSETOOL)
        GTEST_SKIP() << "morsetool is not built";
    QTemporaryDir dir;
    QProcess shell;
    shell.setWorkingDirectory(dir.path());
    shell.start(QStringLiteral("sh"),
                {"-c", QStringLiteral("echo '0 1 3' | '%1' decode --save \"$(printf 'd\\377')\" -")
                           .arg(morsetoolPath())});
    ASSERT_TRUE(shell.waitForFinished(30000));
    EXPECT_EQ(shell.exitCode(), 2);
    EXPECT_TRUE(shell.readAllStandardError().contains("not valid in the locale's encoding"));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty())
        << "no folder of another name is made";
}

TEST(CwAudioFiles, RecordingsDecodeInParallelThreadsAsBatchDecodingDoes)
{
    // Each thread reads and demodulates recordings of its own: readers, demodulators and their
    // Fourier transforms are made and run at the same time (the thread sanitizer run checks it).
    QTemporaryDir dir;
    const QStringList names = {"a.wav", "b.flac", "c.ogg", "d.wav"};
    for (const QString& name : names)
        ASSERT_TRUE(writeCq(dir.filePath(name))) << qPrintable(name);
    std::vector<QString> texts(names.size());
    std::vector<std::thread> threads;
    for (int i = 0; i < names.size(); ++i) {
        threads.emplace_back([&, i] {
            cw::AudioFileReader reader;
            if (reader.Open(dir.filePath(names.at(i))))
                texts[size_t(i)] = decodeAll(reader);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int i = 0; i < names.size(); ++i)
        EXPECT_EQ(texts[size_t(i)], QStringLiteral("CQ DE TEST")) << qPrintable(names.at(i));
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

TEST(CwMorsetool, SavedLineTimesComeFromTheRecordingsStartAndPosition)
{
    // "CQ" at 20 WPM after half a second ends at 2.12 s; the line ends after 3 s of silence.
    if (!HAVE_MORSETOOL)
        GTEST_SKIP() << "morsetool is not built";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lines.wav"));
    const QDir save(dir.filePath(QStringLiteral("session")));
    ASSERT_EQ(runMorsetool({"synth", "CQ\nDE", "-o", path}).exitCode, 0);
    ASSERT_EQ(
        runMorsetool({"decode", "--save", save.path(), "--start-time", "2024-05-01T12:00:00", path})
            .exitCode,
        0);
    const QString content = testfiles::onlyFile(save.path(), QStringLiteral("*__Default.txt"));
    EXPECT_TRUE(content.contains("[Stop Time:  12:00:02.1")) << qPrintable(content);
    EXPECT_TRUE(content.contains("[Start Time:  12:00:05.1")) << qPrintable(content);
}
