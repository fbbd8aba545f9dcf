#include "markerchunker.h"

#include "tools/morsehandler/simplemorsehandler.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <random>

namespace {

const QString MORSETOOL = QStringLiteral(MORSE_BINARY_DIR "/apps/morsetool/morsetool");

struct ToolRun
{
    int exitCode;
    QByteArray out;
};

ToolRun morsetool(const QStringList& arguments, const QByteArray& input)
{
    QProcess process;
    process.start(MORSETOOL, arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(30000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput()};
}

SimpleMorseHandler international()
{
    SimpleMorseHandler handler;
    handler.SetAlphabetsDir(QStringLiteral(MORSE_BUNDLED_DATA_DIR "/alphabets"));
    EXPECT_TRUE(handler.SetAlphabet("International"));
    return handler;
}

/// What morsetool translate prints for @p pieces arriving one after the other.
QString translateInPieces(const QStringList& pieces)
{
    SimpleMorseHandler handler = international();
    MarkerChunker chunker;
    QString out;
    for (const QString& piece : pieces)
        out += handler.Translate(chunker.take(piece));
    return out + handler.Translate(chunker.finish());
}

} // namespace

TEST(MorsetoolTranslate, OutputDoesNotDependOnHowTheInputIsSplit)
{
    const QString markers = "....- - .-[PAUSE TO SHORT].\t-.-. --.-[PAUSE TO SHORT] x- -"
                            "\n..[PAUSE TO SHORT][UNKNOWN]. .----.\t-";
    const QString whole = international().Translate(markers);
    ASSERT_FALSE(whole.isEmpty());
    for (int cut = 0; cut <= markers.size(); ++cut)
        ASSERT_EQ(translateInPieces({markers.left(cut), markers.mid(cut)}), whole) << cut;

    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        QStringList pieces;
        for (int at = 0; at < markers.size();) {
            const int length = 1 + int(random() % 6);
            pieces << markers.mid(at, length);
            at += length;
        }
        ASSERT_EQ(translateInPieces(pieces), whole) << qPrintable(pieces.join('|'));
    }
}

TEST(MorsetoolCommands, CodesThroughMarkersAndTranslateGiveText)
{
    const ToolRun markers = morsetool({"markers"}, "0 1 3 1 0 0 0 4 # A, B and a word end\n");
    ASSERT_EQ(markers.exitCode, 0);
    EXPECT_EQ(markers.out, ".- -...\t");
    const ToolRun text = morsetool({"translate", "--alphabet", "International"}, markers.out);
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_EQ(text.out, "AB ");
}

TEST(MorsetoolCommands, InputTheyCannotReadExitsWithTwo)
{
    EXPECT_EQ(morsetool({"markers"}, "0, 1, dot\n").exitCode, 2);
    EXPECT_EQ(morsetool({"translate", "--alphabet", "Klingon"}, ".- ").exitCode, 2);
    EXPECT_EQ(morsetool({"translate"}, ".- ").exitCode, 2);
    EXPECT_EQ(morsetool({"alphabets", "--alphabets", "/nonexistent"}, "").exitCode, 2);
}

TEST(MorsetoolCommands, AlphabetsListsNamesEntriesAndDirection)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("Hebrew.mal"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("@TextDirection RL\n\xd7\x90\t.-\n\xd7\x91\t-...\n");
    file.close();
    const ToolRun list = morsetool({"alphabets", "--alphabets", dir.path()}, "");
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.out, "None             text passes through unchanged\n"
                        "Hebrew              2 entries, right to left\n");
}
