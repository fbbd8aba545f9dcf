// Feeds arbitrary bytes to the decoder modules file parser, writes every record back as a line
// and reads it again, then hands the records to the catalogue and to a codec handler.

#include "shared/source/decodermoduelscenter.h"
#include "shared/source/decodermodulesfileparser.h"
#include "tools/morsehandler/codechandler.h"

#include "fuzzinput.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using LanternIT::DecoderModule;
using LanternIT::DecoderModulesFileParser;

bool isAscii(char c)
{
    return c > 0 && c < 0x7f;
}

/// Whether a saved line can carry @p module unchanged: ASCII letters and name, and a whole
/// second number (other numbers are written with six significant digits).
bool survivesSaving(const DecoderModule& module)
{
    if (!isAscii(module.cKind) || !isAscii(module.cCharset))
        return false;
    for (const QChar c : module.strName) {
        if (c.unicode() >= 0x7f)
            return false;
    }
    const double second = module.dSecondNumber;
    return std::fabs(second) < 1e15 && second == std::trunc(second);
}

bool sameRecord(const DecoderModule& a, const DecoderModule& b)
{
    return a.nModuleNumber == b.nModuleNumber && a.dSecondNumber == b.dSecondNumber &&
           a.cKind == b.cKind && a.bASK == b.bASK && a.bFSK2 == b.bFSK2 && a.bFSK4 == b.bFSK4 &&
           a.bMSK == b.bMSK && a.bPSK2 == b.bPSK2 && a.bPSK4 == b.bPSK4 && a.bPSK8 == b.bPSK8 &&
           a.bMcFSK == b.bMcFSK && a.bMcPSK2 == b.bMcPSK2 && a.bMcPSK4 == b.bMcPSK4 &&
           a.bMTONE == b.bMTONE && a.bMORSE == b.bMORSE && a.bFAX == b.bFAX && a.bSSTV == b.bSSTV &&
           a.bPACKET_RADIO == b.bPACKET_RADIO && a.bHELLSCHREIBER == b.bHELLSCHREIBER &&
           a.bPACTOR == b.bPACTOR && a.bCLOVER == b.bCLOVER && a.bF7W == b.bF7W &&
           a.bACARS_HF == b.bACARS_HF && a.bHC_ARQ == b.bHC_ARQ &&
           a.bICAO_SELCAL == b.bICAO_SELCAL && a.bMIL_STD == b.bMIL_STD && a.bSTANAG == b.bSTANAG &&
           a.bPSK31 == b.bPSK31 && a.bOQPSK == b.bOQPSK && a.cCharset == b.cCharset &&
           a.strName == b.strName;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Every reload below fails at once and keeps the records handed in.
    LanternIT::DecoderModulesCenter::Instance(QString())->SetFilePath(QString());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    QBuffer& device = input.device();
    std::vector<DecoderModule> modules;
    morse::ReadFindings findings;
    DecoderModulesFileParser::Read(device, modules, &findings);
    for (const morse::ReadFinding& finding : findings) {
        if (finding.line < 1 || finding.line > input.bytes().count('\n') + 1)
            __builtin_trap(); // findings name lines of the input
    }
    if (modules.size() > static_cast<size_t>(input.bytes().count('\n')) + 1)
        __builtin_trap(); // one record per line at most

    for (const DecoderModule& module : modules) {
        if (module.strName.isEmpty() || module.strName != module.strName.trimmed())
            __builtin_trap();
        const QByteArray line = DecoderModulesFileParser::FormatLine(module);
        if (!line.endsWith('\n') || line.count('\n') != 1 + module.strName.count('\n'))
            __builtin_trap();
        DecoderModule again;
        if (survivesSaving(module) && DecoderModulesFileParser::ParseLine(line, again) &&
            !sameRecord(module, again))
            __builtin_trap();
    }

    LanternIT::DecoderModulesCenter* catalogue =
        LanternIT::DecoderModulesCenter::Instance(QString());
    catalogue->SetModules(modules);
    CodecHandler handler; // learns each decoder's charset from the catalogue
    for (const DecoderModule& module : modules) {
        if (handler.CharsetForDecoder(module.strName) > CodecHandler::eBOTH)
            __builtin_trap();
    }
    QString names;
    catalogue->NamesForMode(QStringLiteral("FSK"), QStringLiteral("FSK2"), names, false);
    catalogue->NamesForMode(QStringLiteral("MORSE"), names, false);
    return 0;
}
