// Feeds arbitrary bytes to the decoder modules catalogue as its file, queries it, and builds a
// codec handler's decoder charsets from it.

#include "shared/source/decodermoduelscenter.h"
#include "tools/morsehandler/codechandler.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("modules.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();

    LanternIT::DecoderModulesCenter* catalogue = LanternIT::DecoderModulesCenter::Instance(path);
    catalogue->SetFilePath(path);
    CodecHandler handler; // reloads the file
    std::vector<LanternIT::DecoderModule> modules;
    catalogue->Modules(modules, false);
    for (const LanternIT::DecoderModule& module : modules)
        handler.CharsetForDecoder(module.strName);
    QString names;
    catalogue->NamesForMode(QStringLiteral("FSK"), QStringLiteral("FSK2"), names, false);
    catalogue->NamesForMode(QStringLiteral("MORSE"), names, false);
    catalogue->Save(dir.filePath(QStringLiteral("saved.txt")));
    return 0;
}
