// Codec handler: how codec files are listed and named, how a codec is selected for a decoder,
// and how text is translated through it and back.

#include "tools/morsehandler/codechandler.h"

#include "qtprinters.h"
#include "shared/source/decodermoduelscenter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

// Decoders of every charset letter: I ITA2, A ASCII, B both, X none.
const QByteArray FLAGS = " 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 ";
const QByteArray MODULES = "1 50 D" + FLAGS + "I Teletype\n2 300 D" + FLAGS + "A Serial\n" +
                           "3 2400 D" + FLAGS + "B Combined\n4 0 M" + FLAGS + "X Morse\n";

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

QStringList names(std::initializer_list<const char*> list)
{
    QStringList result;
    for (const char* name : list)
        result << s(name);
    return result;
}

class CodecHandlerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        writeModules(MODULES);
    }

    void writeModules(const QByteArray& text)
    {
        write(QStringLiteral("modules.txt"), text);
        LanternIT::DecoderModulesCenter::Instance(QString())->SetFilePath(
            m_dir.filePath(QStringLiteral("modules.txt")));
    }

    void write(const QString& name, const QByteArray& text)
    {
        QFile file(m_dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    /// A handler on the temporary directory, serving @p decoder.
    CodecHandler handlerFor(const char* decoder)
    {
        CodecHandler handler;
        handler.SetAlphabetsDir(m_dir.path());
        handler.SetDecoder(s(decoder));
        return handler;
    }

    QTemporaryDir m_dir;
};

} // namespace

// ---- Listing and naming ----------------------------------------------------------------------

TEST_F(CodecHandlerTest, ListsOfferNoneFirstAndTheCodecsOfTheDecodersCharset)
{
    write(s("Baudot.codec"), "title\n\nA;0x0391\n");
    write(s("Baudot.ita2.map"), "0x41\t0x0392\n");
    write(s("Greek.ascii.map"), "0x41\t0x0393\n");
    write(s(".Hidden.ita2.map"), "0x41\t0x0394\n");
    QDir(m_dir.path()).mkdir(s("Folder.ita2.map"));

    EXPECT_EQ(handlerFor("all").AvailableAlphabets(), names({"None", "Baudot", "Greek"}));
    EXPECT_EQ(handlerFor("Combined").AvailableAlphabets(),
              names({"None", "Baudot - ITA2", "Greek - ASCII"}));
    EXPECT_EQ(handlerFor("Teletype").AvailableAlphabets(), names({"None", "Baudot - ITA2"}));
    EXPECT_EQ(handlerFor("Serial").AvailableAlphabets(), names({"None", "Greek - ASCII"}));
    EXPECT_EQ(handlerFor("Morse").AvailableAlphabets(), names({"None"}));
    EXPECT_EQ(handlerFor("Unknown").AvailableAlphabets(), names({"None"}));
}

TEST_F(CodecHandlerTest, NamesComeFromSuffixesIgnoringCaseAndSortByCodeUnits)
{
    for (const char* file : {"alpha.CODEC", "Zulu.ITA2.Map", "Aardvark.codec", "my.codec.codec"})
        write(s(file), "");
    EXPECT_EQ(handlerFor("Teletype").AvailableAlphabets(),
              names({"None", "Aardvark - ITA2", "Zulu - ITA2", "alpha - ITA2", "my - ITA2"}));
}

TEST_F(CodecHandlerTest, MapFileWinsOverCodecFileAndIsFoundWhateverItsLetterCase)
{
    write(s("Baudot.codec"), "title\n\nA;0x0391\n");
    write(s("Baudot.ita2.map"), "0x41\t0x0392\n");
    CodecHandler handler = handlerFor("Combined");
    ASSERT_TRUE(handler.SetAlphabet(s("Baudot - ITA2")));
    EXPECT_EQ(handler.Translate(s("A")), s("\u0392")) << "Baudot.ITA2.map finds Baudot.ita2.map";

    QFile::remove(m_dir.filePath(s("Baudot.ita2.map")));
    ASSERT_TRUE(handler.SetAlphabet(s("Baudot - ITA2")));
    EXPECT_EQ(handler.Translate(s("A")), s("\u0391"));
    EXPECT_FALSE(handler.SetAlphabet(s("Baudot - ASCII"))) << "ASCII never falls back to .codec";
}

TEST_F(CodecHandlerTest, NewDirectoryListingKeepsTheLoadedCodec)
{
    write(s("Baudot.ita2.map"), "0x41\t0x0392\n");
    CodecHandler handler = handlerFor("Teletype");
    ASSERT_TRUE(handler.SetAlphabet(s("Baudot - ITA2")));
    handler.SetAlphabetsDir(m_dir.filePath(s("nonexistent")));
    EXPECT_EQ(handler.AvailableAlphabets(), names({"None"}));
    EXPECT_EQ(handler.Alphabet(), s("Baudot - ITA2"));
    EXPECT_EQ(handler.Translate(s("A")), s("\u0392"));
}

// ---- Selecting a codec -------------------------------------------------------------------------

TEST_F(CodecHandlerTest, BareNameTakesTheCharsetWordOfTheDecoder)
{
    write(s("Baudot.codec"), "title\n\nA;0x0391\n");
    write(s("Cyr.ascii.map"), "0xC1\t0x0430\n");
    CodecHandler teletype = handlerFor("Teletype");
    EXPECT_TRUE(teletype.SetAlphabet(s("Baudot")));
    EXPECT_EQ(teletype.Alphabet(), s("Baudot - ITA2"));

    CodecHandler combined = handlerFor("Combined");
    EXPECT_TRUE(combined.SetAlphabet(s("Cyr")));
    EXPECT_EQ(combined.Alphabet(), s("Cyr - ASCII"));
    EXPECT_FALSE(combined.SetAlphabet(s("Baudot"))) << "both charsets: the ASCII codec is meant";
    EXPECT_EQ(combined.Alphabet(), s("Baudot - ASCII"));

    for (const char* decoder : {"All", "Morse", "teletype"}) {
        CodecHandler handler = handlerFor(decoder);
        EXPECT_FALSE(handler.SetAlphabet(s("Baudot"))) << decoder;
        EXPECT_EQ(handler.Alphabet(), s("Baudot")) << decoder;
        EXPECT_TRUE(handler.SetAlphabet(s("Baudot - ITA2"))) << decoder;
    }
}

TEST_F(CodecHandlerTest, NoneOrAFailedSelectionPassesTextThroughLeftToRight)
{
    write(s("Hebrew.ascii.map"), "@TextDirection RL\n0xE0\t0x05D0\n");
    CodecHandler handler = handlerFor("Serial");
    ASSERT_TRUE(handler.SetAlphabet(s("Hebrew")));
    EXPECT_TRUE(handler.TextDirectionRTL());
    EXPECT_EQ(handler.Translate(s("\u00E0")), s("א"));

    const QString text = s("A\u00E0א");
    EXPECT_TRUE(handler.SetAlphabet(s("nONE")));
    EXPECT_EQ(handler.Alphabet(), s("None"));
    EXPECT_FALSE(handler.TextDirectionRTL());
    EXPECT_EQ(handler.Translate(text), text);

    ASSERT_TRUE(handler.SetAlphabet(s("Hebrew")));
    EXPECT_FALSE(handler.SetAlphabet(s("Missing - ASCII")));
    EXPECT_EQ(handler.Alphabet(), s("Missing - ASCII"));
    EXPECT_FALSE(handler.TextDirectionRTL());
    EXPECT_EQ(handler.Translate(text), text);
    EXPECT_EQ(handler.Backtranslate(text), text);
}

TEST_F(CodecHandlerTest, DecoderCharsetsAreReadAtConstructionByExactName)
{
    CodecHandler before;
    EXPECT_EQ(before.CharsetForDecoder(s("Teletype")), CodecHandler::eITA2);
    EXPECT_EQ(before.CharsetForDecoder(s("Serial")), CodecHandler::eASCII);
    EXPECT_EQ(before.CharsetForDecoder(s("Combined")), CodecHandler::eBOTH);
    EXPECT_EQ(before.CharsetForDecoder(s("Morse")), CodecHandler::eNONE);
    EXPECT_EQ(before.CharsetForDecoder(s("TELETYPE")), CodecHandler::eNONE);

    writeModules("9 50 D" + FLAGS + "A Later\n");
    EXPECT_EQ(CodecHandler().CharsetForDecoder(s("Later")), CodecHandler::eASCII);
    EXPECT_EQ(before.CharsetForDecoder(s("Later")), CodecHandler::eNONE);
}

// ---- Translating -------------------------------------------------------------------------------

TEST_F(CodecHandlerTest, TranslateMapsEachUnitAndShowsValueZeroAsASpace)
{
    write(s("Greek.ascii.map"), "0x41\t0x0391\n0x42\t0x0\n");
    CodecHandler handler = handlerFor("Serial");
    ASSERT_TRUE(handler.SetAlphabet(s("Greek")));
    EXPECT_EQ(handler.Translate(s("AB\u0100C")), s("\u0391 \u0100C"));
    handler.ResetInternalState();
    EXPECT_EQ(handler.Translate(s("AB")), s("\u0391 ")) << "no state is kept between calls";
    EXPECT_EQ(handler.Backtranslate(s("\u0391 C")), s("A C"))
        << "only a stored space is written back";
}

TEST_F(CodecHandlerTest, BacktranslateTakesTheFirstCodeFrom0x80UpAndNeverWritesCodeZero)
{
    write(s("Twice.ascii.map"), "0x41\t0x0391\n0xC1\t0x0391\n0x00\t0x0392\n0x42\t0x0392\n");
    CodecHandler handler = handlerFor("Serial");
    ASSERT_TRUE(handler.SetAlphabet(s("Twice")));
    EXPECT_EQ(handler.Backtranslate(s("\u0391\u0392")), s("\u00C1\u0392"));

    write(s("Twice.ascii.map"), "0x00\t0x0392\n0x80\t0x0392\n");
    ASSERT_TRUE(handler.SetAlphabet(s("Twice")));
    EXPECT_EQ(handler.Backtranslate(s("\u0392")), s("\u0080"));
}

// ---- Copies ------------------------------------------------------------------------------------

TEST_F(CodecHandlerTest, CopiesLiveOnTheirOwn)
{
    write(s("Hebrew.codec"), "title\nRL\nA;0x05D0\n");
    CodecHandler original = handlerFor("Teletype");
    ASSERT_TRUE(original.SetAlphabet(s("Hebrew")));

    CodecHandler copy(original);
    CodecHandler assigned;
    assigned = original;
    original.SetAlphabet(s("None"));
    original.SetDecoder(s("Serial"));

    for (CodecHandler* handler : {&copy, &assigned}) {
        EXPECT_EQ(handler->Alphabet(), s("Hebrew - ITA2"));
        EXPECT_TRUE(handler->TextDirectionRTL());
        EXPECT_EQ(handler->Translate(s("A")), s("א"));
        EXPECT_EQ(handler->AvailableAlphabets(), names({"None", "Hebrew - ITA2"}));
    }
    EXPECT_EQ(original.Translate(s("A")), s("A"));
}
