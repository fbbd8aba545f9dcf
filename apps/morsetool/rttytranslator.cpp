#include "rttytranslator.h"

#include "datapaths.h"
#include "modulescatalogue.h"

#include "host/values.h"
#include "tools/morsehandler/codechandler.h"
#include "tools/morsehandler/mappingdirectory.h"

namespace {

const QString DECODER_PATH = QStringLiteral("/Rtty/Decoder");
const QString MAPS_PATH = QStringLiteral("/Rtty/AvailableMaps");
const QString INPUT_PATH = QStringLiteral("/Rtty/DataInput");
const QString OUTPUT_PATH = QStringLiteral("/Rtty/DataOutput");

} // namespace

RttyTranslator::RttyTranslator() = default;
RttyTranslator::~RttyTranslator() = default;

bool RttyTranslator::UseCodec(const QString& strDecoder, const QString& strCodec, QString& strError)
{
    ModulesCatalogue::Open();
    m_pCodec = std::make_unique<CodecHandler>();
    m_pCodec->SetAlphabetsDir(DataPaths::CodecsDirectory());
    m_pCodec->SetDecoder(strDecoder);
    if (m_pCodec->SetAlphabet(strCodec))
        return true;
    strError =
        QStringLiteral("no codec \"%1\" for the decoder \"%2\"; codecs: %3")
            .arg(strCodec, strDecoder, m_pCodec->AvailableAlphabets().join(QStringLiteral(", ")));
    return false;
}

bool RttyTranslator::UseMap(const QString& strDecoder, const QString& strMap, QString& strError)
{
    ModulesCatalogue::Open();
    values::Tree* tree = values::Tree::Instance();
    auto* decoder = tree->FindOrInsert<values::ValueSelection>(DECODER_PATH);
    auto* maps = tree->FindOrInsert<values::ValueSelection>(MAPS_PATH);
    if (!decoder || !maps) {
        strError = QStringLiteral("the value tree cannot be built");
        return false;
    }
    decoder->AddItem(strDecoder, 0, 0, nullptr);
    decoder->Select(strDecoder, nullptr);
    m_pMapping = std::make_unique<MappingDirectory>(DataPaths::CodecsDirectory());
    m_pMapping->SetDecoder_ValuePath(DECODER_PATH);
    m_pMapping->SetAvailableMaps_ValuePath(MAPS_PATH);
    m_pMapping->SetDataInput_ValuePath(INPUT_PATH, nullptr);
    m_pMapping->SetDataOutput_ValuePath(OUTPUT_PATH);
    m_pMapping->Init(strMap);
    m_pMapping->Enabled(true);
    // The user's choice in the list switches the map, as in an application.
    maps->Select(maps->GetStringValue(), nullptr);
    if (maps->GetStringValue() == strMap)
        return true;
    QStringList offered;
    for (const values::ValueSelection::Item& item : maps->GetItems())
        offered << item.name;
    strError = QStringLiteral("no map \"%1\" for the decoder \"%2\"; maps: %3")
                   .arg(strMap, strDecoder, offered.join(QStringLiteral(", ")));
    return false;
}

QString RttyTranslator::Translate(const QString& strText)
{
    if (m_pCodec)
        return m_pCodec->Translate(strText);
    if (!m_pMapping)
        return strText;
    values::Tree* tree = values::Tree::Instance();
    auto* input = tree->FindOrInsert<values::Value<QString>>(INPUT_PATH);
    auto* output = tree->FindOrInsert<values::Value<QString>>(OUTPUT_PATH);
    // A repeated text is announced again, as a decoder does.
    if (input->GetValue() == strText)
        input->HasChanged(CHANGE_VALUE, nullptr);
    else
        input->SetValue(strText, nullptr);
    return output->GetValue();
}
