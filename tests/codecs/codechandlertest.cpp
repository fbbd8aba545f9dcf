// Codec handler: how codec files are listed and named, how a codec is selected for a decoder,
// and how text is translated through it and back.

#include "tools/morsehandler/codechandler.h"

#include "qtprinters.h"
#include "shared/source/decodermoduelscenter.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

// Decoders of every charset letter: I ITA2, A ASCII, B both, X none.
const QByteArray FLAGS = " 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 ";
const QByteArray MODULES = "1 50 D" + FLAGS + "I Teletype\n2 300 D" + FLAGS + "A Serial\n" +
                           "3 2400 D" + FLAGS + "B Combined\n4 0 M" + FLAGS + "X Morse\n";

class CodecHandlerTest : public ::testing::Test
{
protected:
    void SetUp() override { writeModules(MODULES); }
    void writeModules(const QByteArray& text)
    {
        write("modules.txt", text);
        LanternIT::DecoderModulesCenter::Instance(QString())->SetFilePath(
            m_dir.filePath("modules.txt"));
    }
    void write(const char* name, const QByteArray& text)
    {
        testfiles::writeFile(m_dir.filePath(QString::fromUtf8(name)), text);
    }
    /// A handler on the temporary directory serving @p decoder, with @p codec selected if given.
    CodecHandler handlerFor(const char* decoder, const char* codec = nullptr)
    {
        CodecHandler handler;
        handler.SetAlphabetsDir(m_dir.path());
        handler.SetDecoder(QString::fromUtf8(decoder));
        if (codec && !handler.SetAlphabet(QString::fromUtf8(codec)))
            ADD_FAILURE() << "cannot select " << codec;
        return handler;
    }
    QStringList listed(const char* decoder) { return handlerFor(decoder).AvailableAlphabets(); }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(CodecHandlerTest, ListsOfferNoneFirstAndTheCodecsOfTheDecodersCharset)
{
    write("Baudot.codec", "title\n\nA;0x0391\n");
    write("Baudot.ita2.map", "0x41\t0x0392\n");
    write("Greek.ascii.map", "0x41\t0x0393\n");
    write(".Hidden.ita2.map", "0x41\t0x0394\n");
    QDir(m_dir.path()).mkdir("Folder.ita2.map");
    EXPECT_EQ(listed("all"), QStringList({"None", "Baudot", "Greek"}));
    EXPECT_EQ(listed("Combined"), QStringList({"None", "Baudot - ITA2", "Greek - ASCII"}));
    EXPECT_EQ(listed("Teletype"), QStringList({"None", "Baudot - ITA2"}));
    EXPECT_EQ(listed("Serial"), QStringList({"None", "Greek - ASCII"}));
    EXPECT_EQ(listed("Morse"), QStringList("None"));
    EXPECT_EQ(listed("Unknown"), QStringList("None"));
}

TEST_F(CodecHandlerTest, NamesComeFromSuffixesIgnoringCaseAndSortByCodeUnits)
{
    for (const char* file : {"alpha.CODEC", "Zulu.ITA2.Map", "Aardvark.codec", "my.codec.codec"})
        write(file, "");
    EXPECT_EQ(listed("Teletype"),
              QStringList({"None", "Aardvark - ITA2", "Zulu - ITA2", "alpha - ITA2", "my - ITA2"}));
}

TEST_F(CodecHandlerTest, MapFileWinsOverCodecFileAndIsFoundWhateverItsLetterCase)
{
    write("Baudot.codec", "title\n\nA;0x0391\n");
    write("Baudot.ita2.map", "0x41\t0x0392\n");
    CodecHandler handler = handlerFor("Combined", "Baudot - ITA2");
    EXPECT_EQ(handler.Translate("A"), "\u0392") << "Baudot.ITA2.map finds Baudot.ita2.map";

    QFile::remove(m_dir.filePath("Baudot.ita2.map"));
    ASSERT_TRUE(handler.SetAlphabet("Baudot - ITA2"));
    EXPECT_EQ(handler.Translate("A"), "\u0391");
    EXPECT_FALSE(handler.SetAlphabet("Baudot - ASCII")) << "ASCII never falls back to .codec";
}

TEST_F(CodecHandlerTest, NewDirectoryListingKeepsTheLoadedCodec)
{
    write("Baudot.ita2.map", "0x41\t0x0392\n");
    CodecHandler handler = handlerFor("Teletype", "Baudot - ITA2");
    handler.SetAlphabetsDir(m_dir.filePath("nonexistent"));
    EXPECT_EQ(handler.AvailableAlphabets(), QStringList("None"));
    EXPECT_EQ(handler.Alphabet(), "Baudot - ITA2");
    EXPECT_EQ(handler.Translate("A"), "\u0392");
}

TEST_F(CodecHandlerTest, BareNameTakesTheCharsetWordOfTheDecoder)
{
    write("Baudot.codec", "title\n\nA;0x0391\n");
    write("Cyr.ascii.map", "0xC1\t0x0430\n");
    EXPECT_EQ(handlerFor("Teletype", "Baudot").Alphabet(), "Baudot - ITA2");
    CodecHandler combined = handlerFor("Combined", "Cyr");
    EXPECT_EQ(combined.Alphabet(), "Cyr - ASCII");
    EXPECT_FALSE(combined.SetAlphabet("Baudot")) << "both charsets: the ASCII codec is meant";
    EXPECT_EQ(combined.Alphabet(), "Baudot - ASCII");

    for (const char* decoder : {"All", "Morse", "teletype"}) {
        CodecHandler handler = handlerFor(decoder);
        EXPECT_FALSE(handler.SetAlphabet("Baudot")) << decoder;
        EXPECT_EQ(handler.Alphabet(), "Baudot") << decoder;
        EXPECT_TRUE(handler.SetAlphabet("Baudot - ITA2")) << decoder;
    }
}

TEST_F(CodecHandlerTest, NoneOrAFailedSelectionPassesTextThroughLeftToRight)
{
    write("Hebrew.ascii.map", "@TextDirection RL\n0xE0\t0x05D0\n");
    CodecHandler handler = handlerFor("Serial", "Hebrew");
    EXPECT_TRUE(handler.TextDirectionRTL());
    EXPECT_EQ(handler.Translate("\u00E0"), "א");

    const QString text = "A\u00E0א";
    for (const char* name : {"nONE", "Missing - ASCII"}) {
        ASSERT_TRUE(handler.SetAlphabet("Hebrew"));
        EXPECT_EQ(handler.SetAlphabet(QString::fromUtf8(name)), name[0] == 'n') << name;
        EXPECT_EQ(handler.Alphabet(), name[0] == 'n' ? "None" : QString::fromUtf8(name));
        EXPECT_FALSE(handler.TextDirectionRTL()) << name;
        EXPECT_EQ(handler.Translate(text), text) << name;
        EXPECT_EQ(handler.Backtranslate(text), text) << name;
    }
}

TEST_F(CodecHandlerTest, DecoderCharsetsAreReadAtConstructionByExactName)
{
    CodecHandler before;
    const std::pair<const char*, CodecHandler::eBASE_CHARSET> cases[] = {
        {"Teletype", CodecHandler::eITA2},
        {"Serial", CodecHandler::eASCII},
        {"Combined", CodecHandler::eBOTH},
        {"Morse", CodecHandler::eNONE},
        {"TELETYPE", CodecHandler::eNONE}};
    for (const auto& [decoder, charset] : cases)
        EXPECT_EQ(before.CharsetForDecoder(QString::fromUtf8(decoder)), charset) << decoder;

    writeModules("9 50 D" + FLAGS + "A Later\n");
    EXPECT_EQ(CodecHandler().CharsetForDecoder("Later"), CodecHandler::eASCII);
    EXPECT_EQ(before.CharsetForDecoder("Later"), CodecHandler::eNONE);
}

TEST_F(CodecHandlerTest, TranslateMapsEachUnitAndShowsValueZeroAsASpace)
{
    write("Greek.ascii.map", "0x41\t0x0391\n0x42\t0x0\n");
    CodecHandler handler = handlerFor("Serial", "Greek");
    EXPECT_EQ(handler.Translate("AB\u0100C"), "\u0391 \u0100C");
    handler.ResetInternalState();
    EXPECT_EQ(handler.Translate("AB"), "\u0391 ") << "no state is kept between calls";
    EXPECT_EQ(handler.Backtranslate("\u0391 C"), "A C") << "only a stored space goes back";
}

TEST_F(CodecHandlerTest, BacktranslateTakesTheFirstCodeFrom0x80UpAndNeverWritesCodeZero)
{
    write("Twice.ascii.map", "0x41\t0x0391\n0xC1\t0x0391\n0x00\t0x0392\n0x42\t0x0392\n");
    CodecHandler handler = handlerFor("Serial", "Twice");
    EXPECT_EQ(handler.Backtranslate("\u0391\u0392"), "\u00C1\u0392");
    write("Twice.ascii.map", "0x00\t0x0392\n0x80\t0x0392\n");
    ASSERT_TRUE(handler.SetAlphabet("Twice"));
    EXPECT_EQ(handler.Backtranslate("\u0392"), "\u0080");
}

TEST_F(CodecHandlerTest, CopiesLiveOnTheirOwn)
{
    write("Hebrew.codec", "title\nRL\nA;0x05D0\n");
    CodecHandler original = handlerFor("Teletype", "Hebrew");
    CodecHandler copy(original);
    CodecHandler assigned;
    assigned = original;
    original.SetAlphabet("None");
    original.SetDecoder("Serial");
    for (CodecHandler* handler : {&copy, &assigned}) {
        EXPECT_EQ(handler->Alphabet(), "Hebrew - ITA2");
        EXPECT_TRUE(handler->TextDirectionRTL());
        EXPECT_EQ(handler->Translate("A"), "א");
        EXPECT_EQ(handler->AvailableAlphabets(), QStringList({"None", "Hebrew - ITA2"}));
    }
    EXPECT_EQ(original.Translate("A"), "A");
}
