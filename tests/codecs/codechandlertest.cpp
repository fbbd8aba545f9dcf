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
const char* const MODULES =
    "1 50 D 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 I Teletype\n"
    "2 300 D 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 A Serial\n"
    "3 2400 D 0 0 0 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 B Combined\n"
    "4 0 M 0 0 0 0 0 0 0 0 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 X Morse\n";

class CodecHandlerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QDir(m_dir.path()).mkdir(QStringLiteral("codecs"));
        m_strCodecs = m_dir.filePath(QStringLiteral("codecs"));
        writeModules(MODULES);
    }

    void writeModules(const QByteArray& text)
    {
        const QString path = m_dir.filePath(QStringLiteral("modules.txt"));
        write(path, text);
        LanternIT::DecoderModulesCenter::Instance(QString())->SetFilePath(path);
    }

    void write(const QString& path, const QByteArray& text)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    void addCodec(const QString& name, const QByteArray& text)
    {
        write(m_strCodecs + QLatin1Char('/') + name, text);
    }

    /// A handler on the codec directory, serving @p decoder.
    CodecHandler handlerFor(const QString& decoder)
    {
        CodecHandler handler;
        handler.SetAlphabetsDir(m_strCodecs);
        handler.SetDecoder(decoder);
        return handler;
    }

    QTemporaryDir m_dir;
    QString m_strCodecs;
};

QStringList names(std::initializer_list<const char*> list)
{
    QStringList result;
    for (const char* name : list)
        result << QString::fromUtf8(name);
    return result;
}

} // namespace

// ---- Listing and naming ----------------------------------------------------------------------

TEST_F(CodecHandlerTest, ListsOfferNoneFirstAndTheCodecsOfTheDecodersCharset)
{
    addCodec(QStringLiteral("Baudot.codec"), "title\n\nA;0x0391\n");
    addCodec(QStringLiteral("Baudot.ita2.map"), "0x41\t0x0392\n");
    addCodec(QStringLiteral("Greek.ascii.map"), "0x41\t0x0393\n");
    addCodec(QStringLiteral("readme.txt"), "not a codec\n");
    addCodec(QStringLiteral(".Hidden.ita2.map"), "0x41\t0x0394\n");
    QDir(m_strCodecs).mkdir(QStringLiteral("Folder.ita2.map"));

    EXPECT_EQ(handlerFor(QStringLiteral("all")).AvailableAlphabets(),
              names({"None", "Baudot", "Greek"}));
    EXPECT_EQ(handlerFor(QStringLiteral("Combined")).AvailableAlphabets(),
              names({"None", "Baudot - ITA2", "Greek - ASCII"}));
    EXPECT_EQ(handlerFor(QStringLiteral("Teletype")).AvailableAlphabets(),
              names({"None", "Baudot - ITA2"}));
    EXPECT_EQ(handlerFor(QStringLiteral("Serial")).AvailableAlphabets(),
              names({"None", "Greek - ASCII"}));
    EXPECT_EQ(handlerFor(QStringLiteral("Morse")).AvailableAlphabets(), names({"None"}));
    EXPECT_EQ(handlerFor(QStringLiteral("Unknown")).AvailableAlphabets(), names({"None"}));
}

TEST_F(CodecHandlerTest, ListsSortByCodeUnitsAndKeepNoneFirst)
{
    addCodec(QStringLiteral("alpha.ascii.map"), "");
    addCodec(QStringLiteral("Zulu.ascii.map"), "");
    addCodec(QStringLiteral("Aardvark.ascii.map"), "");
    EXPECT_EQ(handlerFor(QStringLiteral("Serial")).AvailableAlphabets(),
              names({"None", "Aardvark - ASCII", "Zulu - ASCII", "alpha - ASCII"}));
}

TEST_F(CodecHandlerTest, SuffixesAreMatchedIgnoringCaseAndTheBaseEndsAtTheFirstDot)
{
    addCodec(QStringLiteral("BAUDOT.CODEC"), "");
    addCodec(QStringLiteral("my.codec.codec"), "");
    addCodec(QStringLiteral("Cyr.ITA2.MAP"), "");
    EXPECT_EQ(handlerFor(QStringLiteral("Teletype")).AvailableAlphabets(),
              names({"None", "BAUDOT - ITA2", "Cyr - ITA2", "my - ITA2"}));
}

TEST_F(CodecHandlerTest, MapFileWinsOverCodecFileAndIsFoundWhateverItsLetterCase)
{
    addCodec(QStringLiteral("Baudot.codec"), "title\n\nA;0x0391\n");
    addCodec(QStringLiteral("Baudot.ita2.map"), "0x41\t0x0392\n");
    CodecHandler handler = handlerFor(QStringLiteral("Teletype"));

    ASSERT_TRUE(handler.SetAlphabet(QStringLiteral("Baudot - ITA2")));
    EXPECT_EQ(handler.Translate(QStringLiteral("A")), QString(QChar(0x0392)))
        << "the composed name Baudot.ITA2.map finds Baudot.ita2.map";

    QFile::remove(m_strCodecs + QStringLiteral("/Baudot.ita2.map"));
    ASSERT_TRUE(handler.SetAlphabet(QStringLiteral("Baudot - ITA2")));
    EXPECT_EQ(handler.Translate(QStringLiteral("A")), QString(QChar(0x0391)));
}

TEST_F(CodecHandlerTest, AsciiNameNeverFallsBackToACodecFile)
{
    addCodec(QStringLiteral("Greek.codec"), "title\n\nA;0x0391\n");
    CodecHandler handler = handlerFor(QStringLiteral("Combined"));
    EXPECT_FALSE(handler.SetAlphabet(QStringLiteral("Greek - ASCII")));
    EXPECT_EQ(handler.Translate(QStringLiteral("A")), QStringLiteral("A"));
    EXPECT_TRUE(handler.SetAlphabet(QStringLiteral("Greek - ITA2")));
    EXPECT_FALSE(handler.SetAlphabet(QStringLiteral("Greek")))
        << "a bare name for a decoder of both charsets selects the ASCII codec";
    EXPECT_EQ(handler.Alphabet(), QStringLiteral("Greek - ASCII"));
}

TEST_F(CodecHandlerTest, NewDirectoryListingKeepsTheLoadedCodec)
{
    addCodec(QStringLiteral("Baudot.ita2.map"), "0x41\t0x0392\n");
    CodecHandler handler = handlerFor(QStringLiteral("Teletype"));
    ASSERT_TRUE(handler.SetAlphabet(QStringLiteral("Baudot - ITA2")));

    handler.SetAlphabetsDir(m_dir.filePath(QStringLiteral("nonexistent")));
    EXPECT_EQ(handler.AvailableAlphabets(), names({"None"}));
    EXPECT_EQ(handler.Alphabet(), QStringLiteral("Baudot - ITA2"));
    EXPECT_EQ(handler.Translate(QStringLiteral("A")), QString(QChar(0x0392)));
}

// ---- Selecting a codec -------------------------------------------------------------------------

TEST_F(CodecHandlerTest, BareNameTakesTheCharsetWordOfTheDecoder)
{
    addCodec(QStringLiteral("Baudot.codec"), "title\n\nA;0x0391\n");
    addCodec(QStringLiteral("Cyr.ascii.map"), "0xC1\t0x0430\n");

    CodecHandler teletype = handlerFor(QStringLiteral("Teletype"));
    EXPECT_TRUE(teletype.SetAlphabet(QStringLiteral("Baudot")));
    EXPECT_EQ(teletype.Alphabet(), QStringLiteral("Baudot - ITA2"));

    CodecHandler serial = handlerFor(QStringLiteral("Serial"));
    EXPECT_TRUE(serial.SetAlphabet(QStringLiteral("Cyr")));
    EXPECT_EQ(serial.Alphabet(), QStringLiteral("Cyr - ASCII"));
    EXPECT_FALSE(serial.SetAlphabet(QStringLiteral("Baudot")));
    EXPECT_EQ(serial.Alphabet(), QStringLiteral("Baudot - ASCII"));
}

TEST_F(CodecHandlerTest, BareNameFailsForADecoderWithoutKnownCharset)
{
    addCodec(QStringLiteral("Baudot.codec"), "title\n\nA;0x0391\n");
    for (const char* decoder : {"All", "Morse", "teletype"}) {
        CodecHandler handler = handlerFor(QLatin1String(decoder));
        EXPECT_FALSE(handler.SetAlphabet(QStringLiteral("Baudot"))) << decoder;
        EXPECT_EQ(handler.Alphabet(), QStringLiteral("Baudot")) << decoder;
        EXPECT_TRUE(handler.SetAlphabet(QStringLiteral("Baudot - ITA2")))
            << decoder << ": the full name needs no decoder";
    }
}

TEST_F(CodecHandlerTest, NoneInAnyLetterCaseSelectsNoCodec)
{
    addCodec(QStringLiteral("Baudot.codec"), "title\nRL\nA;0x0391\n");
    CodecHandler handler = handlerFor(QStringLiteral("Teletype"));
    ASSERT_TRUE(handler.SetAlphabet(QStringLiteral("Baudot")));

    EXPECT_TRUE(handler.SetAlphabet(QStringLiteral("nONE")));
    EXPECT_EQ(handler.Alphabet(), QStringLiteral("None"));
    EXPECT_FALSE(handler.TextDirectionRTL());
    EXPECT_EQ(handler.Translate(QStringLiteral("A")), QStringLiteral("A"));
}

TEST_F(CodecHandlerTest, FailedSelectionLeavesNoCodecAndLeftToRight)
{
    addCodec(QStringLiteral("Hebrew.codec"), "title\nRL\nA;0x05D0\n");
    CodecHandler handler = handlerFor(QStringLiteral("Teletype"));
    ASSERT_TRUE(handler.SetAlphabet(QStringLiteral("Hebrew")));
    EXPECT_TRUE(handler.TextDirectionRTL());

    EXPECT_FALSE(handler.SetAlphabet(QStringLiteral("Missing - ITA2")));
    EXPECT_EQ(handler.Alphabet(), QStringLiteral("Missing - ITA2"));
    EXPECT_FALSE(handler.TextDirectionRTL());
    const QString text = QStringLiteral("A\u05D0\u0100");
    EXPECT_EQ(handler.Translate(text), text);
    EXPECT_EQ(handler.Backtranslate(text), text);
}

TEST_F(CodecHandlerTest, MapDirectiveSetsTheTextDirection)
{
    addCodec(QStringLiteral("Hebrew.ascii.map"), "@TextDirection RL\n0xE0\t0x05D0\n");
    CodecHandler handler = handlerFor(QStringLiteral("Serial"));
    ASSERT_TRUE(handler.SetAlphabet(QStringLiteral("Hebrew")));
    EXPECT_TRUE(handler.TextDirectionRTL());
    EXPECT_EQ(handler.Translate(QString(QChar(0xE0))), QString(QChar(0x05D0)));
}

TEST_F(CodecHandlerTest, CharsetForDecoderComparesNamesExactly)
{
    CodecHandler handler;
    EXPECT_EQ(handler.CharsetForDecoder(QStringLiteral("Teletype")), CodecHandler::eITA2);
    EXPECT_EQ(handler.CharsetForDecoder(QStringLiteral("Serial")), CodecHandler::eASCII);
    EXPECT_EQ(handler.CharsetForDecoder(QStringLiteral("Combined")), CodecHandler::eBOTH);
    EXPECT_EQ(handler.CharsetForDecoder(QStringLiteral("Morse")), CodecHandler::eNONE);
    EXPECT_EQ(handler.CharsetForDecoder(QStringLiteral("TELETYPE")), CodecHandler::eNONE);
}

TEST_F(CodecHandlerTest, EachNewHandlerRereadsTheCatalogue)
{
    CodecHandler before;
    writeModules("9 50 D 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 A Later\n");
    CodecHandler after;
    EXPECT_EQ(after.CharsetForDecoder(QStringLiteral("Later")), CodecHandler::eASCII);
    EXPECT_EQ(before.CharsetForDecoder(QStringLiteral("Later")), CodecHandler::eNONE);
    EXPECT_EQ(before.CharsetForDecoder(QStringLiteral("Teletype")), CodecHandler::eITA2);
}

// ---- Translating -------------------------------------------------------------------------------

TEST_F(CodecHandlerTest, TranslateMapsEachUnitAndShowsValueZeroAsASpace)
{
    addCodec(QStringLiteral("Greek.ascii.map"), "0x41\t0x0391\n0x42\t0x0\n");
    CodecHandler handler = handlerFor(QStringLiteral("Serial"));
    ASSERT_TRUE(handler.SetAlphabet(QStringLiteral("Greek")));

    const QString codes = QStringLiteral("AB\u0100C");
    const QString shown = QStringLiteral("\u0391 \u0100C");
    EXPECT_EQ(handler.Translate(codes), shown);
    handler.ResetInternalState();
    EXPECT_EQ(handler.Translate(codes), shown) << "no state is kept between calls";
    EXPECT_EQ(handler.Backtranslate(QStringLiteral("\u0391 C")), QStringLiteral("A C"))
        << "a space is found only through a stored space";
}

TEST_F(CodecHandlerTest, BacktranslatePrefersCodesFrom0x80Up)
{
    addCodec(QStringLiteral("Twice.ascii.map"), "0x41\t0x0391\n0xC1\t0x0391\n0x7F\t0x0392\n");
    CodecHandler handler = handlerFor(QStringLiteral("Serial"));
    ASSERT_TRUE(handler.SetAlphabet(QStringLiteral("Twice")));
    EXPECT_EQ(handler.Backtranslate(QStringLiteral("\u0391\u0392")),
              QStringLiteral("\u00C1\u007F"));
}

TEST_F(CodecHandlerTest, CodeZeroIsNeverWrittenBack)
{
    addCodec(QStringLiteral("Zero.ascii.map"), "0x00\t0x0391\n0x41\t0x0391\n");
    CodecHandler handler = handlerFor(QStringLiteral("Serial"));
    ASSERT_TRUE(handler.SetAlphabet(QStringLiteral("Zero")));
    EXPECT_EQ(handler.Backtranslate(QStringLiteral("\u0391")), QStringLiteral("\u0391"))
        << "code 0 comes before 0x41, and is not written";

    addCodec(QStringLiteral("Zero.ascii.map"), "0x00\t0x0391\n0x80\t0x0391\n");
    ASSERT_TRUE(handler.SetAlphabet(QStringLiteral("Zero")));
    EXPECT_EQ(handler.Backtranslate(QStringLiteral("\u0391")), QStringLiteral("\u0080"));
}

// ---- Copies ------------------------------------------------------------------------------------

TEST_F(CodecHandlerTest, CopiesLiveOnTheirOwn)
{
    addCodec(QStringLiteral("Hebrew.codec"), "title\nRL\nA;0x05D0\n");
    CodecHandler original = handlerFor(QStringLiteral("Teletype"));
    ASSERT_TRUE(original.SetAlphabet(QStringLiteral("Hebrew")));

    CodecHandler copy(original);
    CodecHandler assigned;
    assigned = original;
    original.SetAlphabet(QStringLiteral("None"));
    original.SetDecoder(QStringLiteral("Serial"));

    for (CodecHandler* handler : {&copy, &assigned}) {
        EXPECT_EQ(handler->Alphabet(), QStringLiteral("Hebrew - ITA2"));
        EXPECT_TRUE(handler->TextDirectionRTL());
        EXPECT_EQ(handler->Translate(QStringLiteral("A")), QString(QChar(0x05D0)));
        EXPECT_EQ(handler->AvailableAlphabets(), names({"None", "Hebrew - ITA2"}));
    }
    EXPECT_EQ(original.Translate(QStringLiteral("A")), QStringLiteral("A"));
}
