#include "markerchunker.h"

#include "tools/morsehandler/simplemorsehandler.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

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
    for (int size = 1; size <= 4; ++size) {
        QStringList pieces;
        for (int at = 0; at < markers.size(); at += size)
            pieces << markers.mid(at, size);
        EXPECT_EQ(translateInPieces(pieces), whole) << size;
    }
}

TEST(MorsetoolCommands, CodesThroughMarkersAndTranslateGiveText)
{
    const ToolRun markers = morsetool({"markers"}, "0 1 3 1 0 0 0 4 # A, B and a word end\n");
    EXPECT_EQ(markers.out, ".- -...\t");
    const ToolRun text = morsetool({"translate", "--alphabet", "International"}, markers.out);
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_EQ(text.out, "AB ");
    const QByteArray list = morsetool({"alphabets"}, "").out;
    EXPECT_TRUE(list.contains("\nHebrew             32 entries, right to left\n")) << list.data();
}

TEST(MorsetoolCommands, InputTheyCannotReadExitsWithTwo)
{
    EXPECT_EQ(morsetool({"markers"}, "0, 1, dot\n").exitCode, 2);
    EXPECT_EQ(morsetool({"translate", "--alphabet", "Klingon"}, ".- ").exitCode, 2);
    EXPECT_EQ(morsetool({"translate"}, ".- ").exitCode, 2);
    EXPECT_EQ(morsetool({"alphabets", "--alphabets", "/nonexistent"}, "").exitCode, 2);
}

TEST(MorsetoolCheck, PrintsTheFindingsOfEachFileAndExitsByTheWorst)
{
    QTemporaryDir dir;
    const auto put = [&dir](const char* name, const QByteArray& content) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return file.fileName();
    };
    const QString clean = put("clean.mal", "A\t.-\n");
    const QString blanks = put("blanks.ita2.map", "0x41 0x0410\n");
    const QString modules = put("modules.txt", "rubbish\n");

    ToolRun run = morsetool({"check", clean}, "");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.isEmpty()) << run.out.constData();

    run = morsetool({"check", clean, blanks, modules}, "");
    EXPECT_EQ(run.exitCode, 1);
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 4) << run.out.constData();
    EXPECT_TRUE(lines.at(0).startsWith(blanks.toUtf8() + ":1: no TAB")) << lines.at(0).data();
    EXPECT_TRUE(lines.at(3).startsWith(modules.toUtf8() + ":1: not a decoder module record"));

    EXPECT_EQ(morsetool({"check", blanks, dir.filePath("missing.codec")}, "").exitCode, 2);
    EXPECT_EQ(morsetool({"check"}, "").exitCode, 2);
}
