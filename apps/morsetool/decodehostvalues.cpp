#include "decodehostvalues.h"

namespace {

template <class V> void make(V*& value, const QString& root, const char* name)
{
    value = values::Tree::Instance()->FindOrInsert<V>(root + QLatin1String(name));
}

} // namespace

bool DecodeHostValues::Make(const QString& root)
{
    make(symbol, root, "Symbol");
    make(available, root, "Available");
    make(text, root, "Text");
    make(alphabet, root, "Alphabet");
    make(alphabetDirectory, root, "AlphabetDirectory");
    make(rightToLeft, root, "TextDirectionRTL");
    make(saveToFile, root, "SaveToFile");
    make(xmlSave, root, "XmlSave");
    make(textFileName, root, "TextFileName");
    make(codeFileName, root, "CodeFileName");
    make(xmlFileName, root, "XmlFileName");
    make(frequency, root, "Frequency");
    make(modulation, root, "ModulationType");
    make(decoderResult, root, "DecoderResult");
    make(generateSettings, root, "GenerateTunerSettings");
    make(tunerSettings, root, "TunerSettings");
    make(saveState, root, "SaveState");
    return saveState && symbol && available && text && alphabet && alphabetDirectory &&
           rightToLeft && saveToFile && xmlSave && textFileName && codeFileName && xmlFileName &&
           frequency && modulation && decoderResult && generateSettings && tunerSettings;
}
