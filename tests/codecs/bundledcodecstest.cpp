// The codecs and the decoder modules file that ship in data/: each codec is checked against
// samples taken from its public character table (tests/data/bundledcodecs/<file>.samples:
// "rtl: true|false", then lines "code unit"), and the modules file against what its users need.

#include "tools/morsehandler/codechandler.h"

#include "qtprinters.h"
#include "shared/source/decodermoduelscenter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <vector>

namespace {

const QString BUNDLED = QStringLiteral(MORSE_BUNDLED_DATA_DIR);
const QString SAMPLES = QStringLiteral(MORSE_TEST_DATA_DIR "/bundledcodecs");

void useBundledModules()
{
    LanternIT::DecoderModulesCenter::Instance(QString())->SetFilePath(
        BUNDLED + QStringLiteral("/decodermodules.txt"));
}

/// The full codec name of a codec file: its base and its charset word.
QString codecName(const QString& file)
{
    const QString base = file.section(QLatin1Char('.'), 0, 0);
    return base + (file.endsWith(QLatin1String(".ascii.map")) ? QStringLiteral(" - ASCII")
                                                              : QStringLiteral(" - ITA2"));
}

} // namespace

TEST(BundledCodecs, EveryCodecMatchesItsPublicTableSamples)
{
    useBundledModules();
    const QStringList files = QDir(BUNDLED + QStringLiteral("/codecs")).entryList(QDir::Files);
    ASSERT_GE(files.size(), 10);
    CodecHandler handler;
    handler.SetAlphabetsDir(BUNDLED + QStringLiteral("/codecs"));
    for (const QString& file : files) {
        QFile samples(SAMPLES + QLatin1Char('/') + file + QStringLiteral(".samples"));
        ASSERT_TRUE(samples.open(QIODevice::ReadOnly)) << "no samples for " << qPrintable(file);
        ASSERT_TRUE(handler.SetAlphabet(codecName(file))) << qPrintable(file);
        int checked = 0;
        while (!samples.atEnd()) {
            const QString line = QString::fromUtf8(samples.readLine()).trimmed();
            if (line.startsWith(QLatin1Char('#')) || line.isEmpty())
                continue;
            if (line.startsWith(QLatin1String("rtl: "))) {
                EXPECT_EQ(handler.TextDirectionRTL(), line.endsWith(QLatin1String("true")))
                    << qPrintable(file);
                continue;
            }
            const QChar code(line.section(QLatin1Char(' '), 0, 0).toUShort(nullptr, 16));
            const QChar unit(line.section(QLatin1Char(' '), 1, 1).toUShort(nullptr, 16));
            EXPECT_EQ(handler.Translate(code), QString(unit)) << qPrintable(file + ": " + line);
            EXPECT_EQ(handler.Backtranslate(unit), QString(code)) << qPrintable(file + ": " + line);
            ++checked;
        }
        EXPECT_GE(checked, 4) << qPrintable(file);
    }
}

TEST(BundledCodecs, ItaCodecsLeaveDigitsAndLineEndsOfLatinTextAlone)
{
    useBundledModules();
    CodecHandler handler;
    handler.SetAlphabetsDir(BUNDLED + QStringLiteral("/codecs"));
    handler.SetDecoder(QStringLiteral("RTTY 50"));
    const QString text = QStringLiteral("ZCZC 123-4/5\r\n");
    for (const char* codec : {"MTK-2 Cyrillic", "Greek", "Hebrew"}) {
        ASSERT_TRUE(handler.SetAlphabet(QLatin1String(codec))) << codec;
        const QString shown = handler.Translate(text);
        EXPECT_EQ(shown.mid(4), text.mid(4)) << codec;
        EXPECT_NE(shown.left(4), text.left(4)) << codec;
        EXPECT_EQ(handler.Backtranslate(shown), text) << codec;
    }
}

TEST(BundledModules, EveryModuleLineIsReadAndFoundByCharsetAndMode)
{
    QFile file(BUNDLED + QStringLiteral("/decodermodules.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    int moduleLines = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        moduleLines += !line.isEmpty() && !line.startsWith('#');
    }
    useBundledModules();
    LanternIT::DecoderModulesCenter* catalogue =
        LanternIT::DecoderModulesCenter::Instance(QString());
    std::vector<LanternIT::DecoderModule> modules;
    catalogue->Modules(modules, true);
    EXPECT_EQ(static_cast<int>(modules.size()), moduleLines);
    EXPECT_GE(modules.size(), 12u);

    CodecHandler handler;
    EXPECT_EQ(handler.CharsetForDecoder(QStringLiteral("RTTY 50")), CodecHandler::eITA2);
    EXPECT_EQ(handler.CharsetForDecoder(QStringLiteral("ASCII 7E1")), CodecHandler::eASCII);
    EXPECT_EQ(handler.CharsetForDecoder(QStringLiteral("STANAG 4285")), CodecHandler::eBOTH);
    EXPECT_EQ(handler.CharsetForDecoder(QStringLiteral("CW Morse")), CodecHandler::eNONE);

    QString psk31;
    catalogue->NamesForMode(QStringLiteral("PSK31"), QStringLiteral("any"), psk31, false);
    EXPECT_EQ(psk31, QStringLiteral("PSK31;QPSK31"));
    QString morse;
    catalogue->NamesForMode(QStringLiteral("MORSE"), morse, false);
    EXPECT_EQ(morse, QStringLiteral("CW Morse"));
}
