// Links a call into each class of the handler library's public headers.
#include "tools/morsehandler/morsehandler.h"
#include "host/values.h"
#include "shared/source/decodermoduelscenter.h"
#include "shared/source/decodermodule.h"
#include "tools/morsehandler/basecharset.h"
#include "tools/morsehandler/codechandler.h"
#include "tools/morsehandler/ialphabethandler.h"
#include "tools/morsehandler/mappingdirectory.h"
#include "tools/morsehandler/morsehandler_export.h"
#include "tools/morsehandler/morsetranslator.h"
#include "tools/morsehandler/simplemorsehandler.h"
#include "tools/morsehandler/version.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

int main()
{
    bool ok = std::strcmp(morse::LibraryVersion(), MORSEHANDLER_VERSION_STRING) == 0;

    MorseTranslator translator;
    translator.SetMorseAlphabet(QString()); // the built-in International alphabet
    ok = ok && translator.Translate(QStringLiteral(".-c-...c")) == QStringLiteral("AB");

    std::vector<std::unique_ptr<IAlphabetHandler>> handlers;
    handlers.emplace_back(new SimpleMorseHandler);
    handlers.emplace_back(new CodecHandler);
    for (const auto& handler : handlers)
        ok = ok && handler->Translate(QStringLiteral("x")) == QStringLiteral("x"); // "None"
    ok = ok && SimpleMorseHandler::ConvertSymbol(1) == SimpleMorseHandler::DASH;

    LanternIT::DecoderModulesCenter catalogue(QStringLiteral("/nonexistent/modules.txt"));
    std::vector<LanternIT::DecoderModule> modules;
    catalogue.Modules(modules, false);
    ok = ok && modules.empty();

    {
        MappingDirectory mapping(QStringLiteral("/nonexistent/maps"));
        ok = ok && mapping.availableMaps(eITA2).isEmpty() &&
             mapping.translate(QStringLiteral("x")) == QStringLiteral("x");
        MorseHandler handler;
        handler.SetSymbol_ValuePath(QStringLiteral("/Probe/Missing"));
        ok = ok && handler.GetCurrentMorseSymbolString().isEmpty();
    }
    values::Tree::Instance()->Clear();
    std::printf("morsehandler %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
