// The codecs and the decoder modules file that ship in data/, directly and through morsetool.
// Each codec is checked against samples taken from its public character table
// (tests/data/bundledcodecs/<file>.samples: "rtl: true|false", then lines "code unit").

#include "tools/morsehandler/codechandler.h"

#include "morsetoolrun.h"
#include "qtprinters.h"
#include "shared/source/decodermoduelscenter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace {

const QString BUNDLED = QStringLiteral(MORSE_BUNDLED_DATA_DIR);
const QString CODECS = BUNDLED + QStringLiteral("/codecs");

CodecHandler bundledHandler(const char* decoder = "")
{
    LanternIT::DecoderModulesCenter::Instance(QString())->SetFilePath(
        BUNDLED + QStringLiteral("/decodermodules.txt"));
    CodecHandler handler;
    handler.SetAlphabetsDir(CODECS);
    handler.SetDecoder(QLatin1String(decoder));
    return handler;
}

/// morsetool codec on the bundled codecs directory, named explicitly.
MorsetoolRun codec(const QStringList& arguments, const QByteArray& input)
{
    return runMorsetool(QStringList{"codec", "--codecs", CODECS} + arguments, input);
}

} // namespace

TEST(BundledCodecs, EveryCodecMatchesItsPublicTableSamples)
{
    CodecHandler handler = bundledHandler();
    const QStringList files = QDir(CODECS).entryList(QDir::Files);
    ASSERT_GE(files.size(), 10);
    for (const QString& file : files) {
        QFile samples(QStringLiteral(MORSE_TEST_DATA_DIR "/bundledcodecs/") + file + ".samples");
        ASSERT_TRUE(samples.open(QIODevice::ReadOnly)) << "no samples for " << qPrintable(file);
        const QString charset = file.endsWith(".ascii.map") ? " - ASCII" : " - ITA2";
        ASSERT_TRUE(handler.SetAlphabet(file.section('.', 0, 0) + charset)) << qPrintable(file);
        int checked = 0;
        while (!samples.atEnd()) {
            const QString line = QString::fromUtf8(samples.readLine()).trimmed();
            if (line.startsWith(QLatin1Char('#')) || line.isEmpty())
                continue;
            if (line.startsWith(QLatin1String("rtl: "))) {
                EXPECT_EQ(handler.TextDirectionRTL(), line.endsWith("true")) << qPrintable(file);
                continue;
            }
            const QString code(QChar(line.section(' ', 0, 0).toUShort(nullptr, 16)));
            const QString unit(QChar(line.section(' ', 1, 1).toUShort(nullptr, 16)));
            EXPECT_EQ(handler.Translate(code), unit) << qPrintable(file + ": " + line);
            EXPECT_EQ(handler.Backtranslate(unit), code) << qPrintable(file + ": " + line);
            ++checked;
        }
        EXPECT_GE(checked, 4) << qPrintable(file);
    }
}

TEST(BundledCodecs, ItaCodecsLeaveDigitsAndLineEndsOfLatinTextAlone)
{
    CodecHandler handler = bundledHandler("RTTY 50");
    const QString text = QStringLiteral("ZCZC 123-4/5\r\n");
    for (const char* codec : {"MTK-2 Cyrillic", "Greek", "Hebrew"}) {
        ASSERT_TRUE(handler.SetAlphabet(QLatin1String(codec))) << codec;
        const QString shown = handler.Translate(text);
        EXPECT_EQ(shown.mid(4), text.mid(4)) << codec;
        EXPECT_NE(shown.left(4), text.left(4)) << codec;
        EXPECT_EQ(handler.Backtranslate(shown), text) << codec;
    }
}

TEST(BundledModules, DecodersAreFoundByCharsetAndMode)
{
    // That every line of the file is read is checked with the findings of the bundled files.
    CodecHandler handler = bundledHandler();
    auto* catalogue = LanternIT::DecoderModulesCenter::Instance(QString());
    EXPECT_EQ(handler.CharsetForDecoder("RTTY 50"), CodecHandler::eITA2);
    EXPECT_EQ(handler.CharsetForDecoder("ASCII 7E1"), CodecHandler::eASCII);
    EXPECT_EQ(handler.CharsetForDecoder("STANAG 4285"), CodecHandler::eBOTH);
    EXPECT_EQ(handler.CharsetForDecoder("CW Morse"), CodecHandler::eNONE);
    QString psk31, morse;
    catalogue->NamesForMode(QStringLiteral("PSK31"), QStringLiteral("any"), psk31, false);
    EXPECT_EQ(psk31, QStringLiteral("PSK31;QPSK31"));
    catalogue->NamesForMode(QStringLiteral("MORSE"), morse, false);
    EXPECT_EQ(morse, QStringLiteral("CW Morse"));
}

TEST(Morsetool, CodecCodecsAndModulesWorkOnTheBundledDataByDefault)
{
    const MorsetoolRun cyrillic =
        runMorsetool({"codec", "--decoder", "RTTY 50", "--codec", "MTK-2 Cyrillic"}, "ABC");
    EXPECT_EQ(cyrillic.exitCode, 0) << cyrillic.err.constData();
    EXPECT_EQ(cyrillic.text(), QStringLiteral("АБЦ"));

    const QStringList codecs =
        runMorsetool({"codecs", "--decoder", "RTTY 50"}, "").text().split('\n');
    EXPECT_EQ(codecs.first(), QStringLiteral("None"));
    EXPECT_TRUE(codecs.contains(QStringLiteral("MTK-2 Cyrillic - ITA2")));
    EXPECT_FALSE(codecs.contains(QStringLiteral("KOI8-R - ASCII")));

    const QStringList fsk2 =
        runMorsetool({"modules", "--mode", "FSK", "--submode", "FSK2"}, "").text().split('\n');
    EXPECT_TRUE(fsk2.contains(QStringLiteral("RTTY 50")));
    EXPECT_TRUE(fsk2.contains(QStringLiteral("ASCII 8N1")));
    EXPECT_FALSE(fsk2.contains(QStringLiteral("PSK31")));
}

TEST(Morsetool, CodecTranslatesBytesBothWaysAndKeepsNulBytes)
{
    const QByteArray koi8("\xF2\xC1\xC4\xC9\xCF 1\n");
    const MorsetoolRun forward = codec({"--decoder", "ASCII 8N1", "--codec", "KOI8-R"}, koi8);
    EXPECT_EQ(forward.exitCode, 0) << forward.err.constData();
    EXPECT_EQ(forward.text(), QStringLiteral("Радио 1\n"));
    EXPECT_EQ(codec({"--codec", "KOI8-R - ASCII", "--back"}, forward.out).out, koi8);

    const QByteArray raw("\x03\x00\x19", 3);
    EXPECT_EQ(codec({"--codec", "Raw Letters - ITA2"}, raw).text(), QStringLiteral("A\u2400B"));
    EXPECT_EQ(codec({"--codec", "Raw Letters - ITA2", "--back"}, QByteArray("A\0B", 3)).out, raw)
        << "code 0 is never written back, but a NUL passes";
}

TEST(Morsetool, CodecRefusesWhatItCannotTranslate)
{
    const MorsetoolRun unknown = codec({"--decoder", "CW Morse", "--codec", "KOI8-R"}, "x");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.out.isEmpty());
    const QStringList back = {"--codec", "KOI8-R - ASCII", "--back"};
    const MorsetoolRun unmappable = codec(back, QStringLiteral("Ωмега").toUtf8());
    EXPECT_EQ(unmappable.exitCode, 1);
    EXPECT_TRUE(unmappable.out.isEmpty()) << "nothing half-written";
    EXPECT_EQ(codec(back, "\xFF\xFE").exitCode, 2) << "not UTF-8";
}

TEST(Morsetool, CodecStreamsLongInputWithTheResultOfTheWholeText)
{
    // Longer than the pieces the command reads, with two-byte characters across every boundary.
    CodecHandler handler = bundledHandler("RTTY 50");
    ASSERT_TRUE(handler.SetAlphabet(QStringLiteral("MTK-2 Cyrillic")));
    QByteArray codes;
    for (int i = 0; i < 300000; ++i)
        codes += char("ABCDEFGHIJKLMNOPQRSTUVWXYZ 123\n\0"[i % 33]);
    const QString text = handler.Translate(QString::fromLatin1(codes.constData(), codes.size()));
    const QStringList arguments{"--decoder", "RTTY 50", "--codec", "MTK-2 Cyrillic"};

    const MorsetoolRun forward = codec(arguments, codes);
    EXPECT_EQ(forward.exitCode, 0) << forward.err.constData();
    EXPECT_TRUE(forward.out == text.toUtf8()) << "forward differs"; // NUL bytes included

    const QByteArray utf8 = text.toUtf8();
    const MorsetoolRun back = codec(arguments + QStringList{"--back"}, utf8);
    EXPECT_EQ(back.exitCode, 0) << back.err.constData();
    EXPECT_TRUE(back.out == handler.Backtranslate(text).toLatin1()) << "back differs";

    // Bytes that are not UTF-8 far into the input: what came before them is written.
    const MorsetoolRun broken = codec(arguments + QStringList{"--back"}, utf8 + "\xC3\x28 tail");
    EXPECT_EQ(broken.exitCode, 2);
    EXPECT_TRUE(broken.err.contains("not UTF-8")) << broken.err.constData();
    EXPECT_TRUE(back.out.startsWith(broken.out));
    EXPECT_GE(broken.out.size(), back.out.size() - (1 << 16));
    EXPECT_EQ(codec(arguments + QStringList{"--back"}, utf8 + "\xD0").exitCode, 2)
        << "a character cut off at the end is not UTF-8";
}
