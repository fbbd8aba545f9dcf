// morsetool's commands run as a user runs them, and the parts of translate tested alone.

#include "markerchunker.h"
#include "morsetoolrun.h"
#include "testfiles.h"

#include "tools/morsehandler/simplemorsehandler.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

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
    const MorsetoolRun markers =
        runMorsetool({"markers"}, "0 1 3 1 0 0 0 4 # A, B and a word end\n");
    EXPECT_EQ(markers.out, ".- -...\t");
    const MorsetoolRun text =
        runMorsetool({"translate", "--alphabet", "International"}, markers.out);
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_EQ(text.out, "AB ");
    const QByteArray list = runMorsetool({"alphabets"}).out;
    EXPECT_TRUE(list.contains("\nHebrew             32 entries, right to left\n")) << list.data();
}

TEST(MorsetoolCheck, PrintsTheFindingsOfEachFileAndExitsByTheWorst)
{
    QTemporaryDir dir;
    const auto put = [&dir](const char* name, const QByteArray& content) {
        testfiles::writeFile(dir.filePath(name), content);
        return dir.filePath(name);
    };
    const QString clean = put("clean.mal", "A\t.-\n");
    const QString blanks = put("blanks.ita2.map", "0x41 0x0410\n");
    const QString modules = put("modules.txt", "rubbish\n");

    MorsetoolRun run = runMorsetool({"check", clean});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.isEmpty()) << run.out.constData();

    run = runMorsetool({"check", clean, blanks, modules});
    EXPECT_EQ(run.exitCode, 1);
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 4) << run.out.constData();
    EXPECT_TRUE(lines.at(0).startsWith(blanks.toUtf8() + ":1: no TAB")) << lines.at(0).data();
    EXPECT_TRUE(lines.at(3).startsWith(modules.toUtf8() + ":1: not a decoder module record"));

    EXPECT_EQ(runMorsetool({"check", blanks, dir.filePath("missing.codec")}).exitCode, 2);
    EXPECT_EQ(runMorsetool({"check"}).exitCode, 2);
}

TEST(MorsetoolDecode, SavedSampleLeavesLineStampedFilesAndASpanningReport)
{
    QTemporaryDir dir;
    const MorsetoolRun run =
        runMorsetool({"decode", "--save", dir.path(), "--frequency", "14070000",
                      QStringLiteral(MORSE_BUNDLED_DATA_DIR "/samples/cq.txt")});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(run.out.contains("PWR 100 W HR 73"));
    QString textName;
    const QString text =
        testfiles::onlyFile(dir.path(), QStringLiteral("*_MO__14_070MHz__Default.txt"), &textName);
    EXPECT_TRUE(text.contains(QRegularExpression(
        QStringLiteral("\n\\[Stop Time:  \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\]\n\\[Start Time:  "
                       "\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\]\n"))))
        << qPrintable(text);
    EXPECT_TRUE(run.error().contains(QStringLiteral("text file: ") + textName));
    const QString xml = testfiles::onlyFile(dir.path(), QStringLiteral("OrielResultData_*.xml"));
    EXPECT_TRUE(
        xml.contains("start=\"2023-11-14T22:13:20.000Z\" stop=\"2023-11-14T22:15:42.800Z\""))
        << qPrintable(xml.left(300));
}

TEST(MorsetoolDecode, RetranslatesTheReceptionThroughAnotherAlphabet)
{
    QTemporaryDir alphabets;
    testfiles::writeFile(alphabets.filePath(QStringLiteral("Test.mal")),
                         "\xce\x91\t.-\n\xce\x92\t-...\n");
    const MorsetoolRun run = runMorsetool(
        {"decode", "--alphabets", alphabets.path(), "--retranslate", "test"}, ".-c-...cw\n");
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(run.out, "AB \n\xce\x91\xce\x92 \n");
}

TEST(MorsetoolEncode, CodesDecodeBackAndUnknownCharactersAreRefused)
{
    const MorsetoolRun encoded = runMorsetool({"encode", "cq de", "dl1abc"});
    ASSERT_EQ(encoded.exitCode, 0);
    EXPECT_EQ(runMorsetool({"decode", "-"}, encoded.out).out, "CQ DE DL1ABC\n");
    const MorsetoolRun unknown = runMorsetool({"encode", "a~b"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.out.isEmpty());
    EXPECT_TRUE(unknown.err.contains("'~'"));
}
