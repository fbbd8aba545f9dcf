// Drives a MappingDirectory on the bundled maps the way a host does, with every step taken from
// the input: choosing the decoder or the map, publishing decoder text (the bytes that follow,
// up to a 0x00), triggering the input, changing the history's size, translating the history.
// No input may crash or hang; the history never outgrows its limit, and each output has one
// unit per unit of its input.

#include "host/values.h"
#include "shared/source/decodermoduelscenter.h"
#include "tools/morsehandler/mappingdirectory.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

const QString DECODER = QStringLiteral("/Map/Decoder");
const QString MAPS = QStringLiteral("/Map/AvailableMaps");
const QString INPUT = QStringLiteral("/Map/DataInput");
const QString OUTPUT = QStringLiteral("/Map/DataOutput");
const QString MAX_CHARS = QStringLiteral("/Map/MaxNumberOfChars");

QStringList decoderNames;

struct Values
{
    values::ValueSelection* decoder;
    values::ValueSelection* maps;
    values::Value<QString>* input;
    values::Value<QString>* output;
};

Values bindValues(MappingDirectory& directory)
{
    values::Tree* tree = values::Tree::Instance();
    Values v{tree->FindOrInsert<values::ValueSelection>(DECODER),
             tree->FindOrInsert<values::ValueSelection>(MAPS),
             tree->FindOrInsert<values::Value<QString>>(INPUT),
             tree->FindOrInsert<values::Value<QString>>(OUTPUT)};
    for (int i = 0; i < decoderNames.size(); ++i)
        v.decoder->AddItem(decoderNames.at(i), i, i, nullptr);
    v.decoder->Select(decoderNames.value(0), nullptr);
    directory.SetDecoder_ValuePath(DECODER);
    directory.SetAvailableMaps_ValuePath(MAPS);
    directory.SetDataInput_ValuePath(INPUT, nullptr);
    directory.SetDataOutput_ValuePath(OUTPUT);
    directory.SetMaxNumberOfChars_ValuePath(MAX_CHARS);
    directory.Init(QStringLiteral("Default"));
    directory.Enabled(true);
    return v;
}

/// Selects item @p index (modulo their number) of @p selection.
void selectItem(values::ValueSelection* selection, int index)
{
    const auto items = selection->GetItems();
    if (!items.isEmpty())
        selection->Select(items.at(index % items.size()).name, nullptr);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    LanternIT::DecoderModulesCenter::Instance(QStringLiteral(FUZZ_DATA_DIR "/decodermodules.txt"));
    std::vector<LanternIT::DecoderModule> modules;
    LanternIT::DecoderModulesCenter::Instance(QString())->Modules(modules, false);
    for (const LanternIT::DecoderModule& module : modules)
        decoderNames << module.strName;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    values::Tree::Instance()->Clear();
    {
        MappingDirectory directory(QStringLiteral(FUZZ_DATA_DIR "/codecs"));
        const Values v = bindValues(directory);
        for (size_t i = 0; i < size; ++i) {
            const uint8_t step = data[i];
            switch (step % 6) {
            case 0:
                selectItem(v.decoder, step / 6);
                break;
            case 1:
                selectItem(v.maps, step / 6);
                break;
            case 2: { // decoder text: the bytes up to the next 0x00, as codes
                size_t end = i + 1;
                while (end < size && data[end] != 0)
                    ++end;
                const QString text = QString::fromLatin1(
                    reinterpret_cast<const char*>(data + i + 1), int(end - i - 1));
                v.input->SetValue(text, nullptr);
                if (v.output->GetValue().size() != text.size())
                    std::abort();
                i = end;
                break;
            }
            case 3:
                v.input->HasChanged(CHANGE_TRIGGER, nullptr);
                break;
            case 4:
                if (auto* max = dynamic_cast<values::ValueNumeric<int>*>(
                        values::Tree::Instance()->FindValue(MAX_CHARS)))
                    max->SetValue(step * 50, nullptr);
                break;
            default:
                directory.TranslateHistory();
                break;
            }
        }
    }
    values::Tree::Instance()->Clear();
    return 0;
}
