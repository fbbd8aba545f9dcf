// The whole path of a Russian RTTY recording to Cyrillic: the host binds the demodulator's
// text to a value, and a MappingDirectory on that value republishes it through the MTK-2 map.
// The MTK-2 codec on the same clip is checked through morsetool decode --codec.

#include "rttyclips.h"
#include "treefixture.h"

#include "host/values.h"
#include "shared/source/decodermoduelscenter.h"
#include "tools/morsehandler/mappingdirectory.h"

#include <gtest/gtest.h>

namespace {

const QString CYRILLIC = QStringLiteral("ПОГОДА В МОСКВЕ МИНУС 5 ВЕТЕР 270 ГРАДУСОВ 15 М/С");
const QString CODECS = QStringLiteral(MORSE_BUNDLED_DATA_DIR "/codecs");

class RttyValueTree : public TreeTest
{
protected:
    void SetUp() override
    {
        TreeTest::SetUp();
        const QString modules = QStringLiteral(MORSE_BUNDLED_DATA_DIR "/decodermodules.txt");
        LanternIT::DecoderModulesCenter::Instance(modules)->SetFilePath(modules);
        decoded = rttytest::decodeClip(QStringLiteral("peer-mtk2-50-425"));
    }

    rttytest::Decoded decoded;
};

} // namespace

TEST_F(RttyValueTree, MappingDirectoryRepublishesTheDecoderTextInCyrillic)
{
    auto* decoder = add<values::ValueSelection>(QStringLiteral("/Rtty/Decoder"));
    decoder->AddItem(QStringLiteral("RTTY 50"), 0, 0, nullptr);
    decoder->Select(QStringLiteral("RTTY 50"), nullptr);
    auto* text = add<values::Value<QString>>(QStringLiteral("/Rtty/Text"));

    MappingDirectory directory(CODECS);
    directory.SetDecoder_ValuePath(QStringLiteral("/Rtty/Decoder"));
    directory.SetAvailableMaps_ValuePath(QStringLiteral("/Rtty/Maps"));
    directory.SetDataInput_ValuePath(QStringLiteral("/Rtty/Text"), nullptr);
    directory.SetDataOutput_ValuePath(QStringLiteral("/Rtty/Cyrillic"));
    directory.Init(QStringLiteral("MTK-2 Cyrillic - ITA2"));
    directory.Enabled(true);
    auto* maps = dynamic_cast<values::ValueSelection*>(
        values::Tree::Instance()->FindValue(QStringLiteral("/Rtty/Maps")));
    ASSERT_NE(maps, nullptr);
    maps->Select(QStringLiteral("MTK-2 Cyrillic - ITA2"), nullptr);
    auto* output = dynamic_cast<values::Value<QString>*>(
        values::Tree::Instance()->FindValue(QStringLiteral("/Rtty/Cyrillic")));
    ASSERT_NE(output, nullptr);

    // The host publishes the decoder's text a word at a time, as a live decoder does.
    QString published;
    QString word;
    for (const char c : decoded.text + " ") {
        word += QLatin1Char(c);
        if (c != ' ')
            continue;
        text->SetValue(word, nullptr);
        published += output->GetValue();
        word.clear();
    }
    EXPECT_EQ(published.trimmed(), CYRILLIC);
    EXPECT_EQ(directory.TranslateHistory().trimmed(), CYRILLIC);
}
