// Drives a MorseHandler that saves, with everything taken from the input: each byte is one
// step - a symbol code, a timestamp (from the next bytes), a report trigger, or a change of the
// saving, availability or session. No input may crash or hang; afterwards every session file
// must be UTF-8 and every report well-formed XML.

#include "host/values.h"
#include "tools/morsehandler/morsehandler.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

QTemporaryDir* saveRoot = nullptr;

const int SYMBOL_CODES[] = {0, 1, 3, 4, 5, 64, 65, 66};

/// The values a host binds for one Morse window.
struct Window
{
    values::Value<bool>* save;
    values::Value<bool>* available;
    values::Value<bool>* xmlSave;
};

Window bindWindow(MorseHandler& handler, const QString& directory)
{
    values::Tree* tree = values::Tree::Instance();
    tree->FindOrInsert<values::ValueNumeric<int>>(QStringLiteral("/M/Symbol"));
    tree->FindOrInsert<values::Value<QString>>(QStringLiteral("/M/Text"));
    tree->FindOrInsert<values::Value<QString>>(QStringLiteral("/M/TextFile"));
    tree->FindOrInsert<values::Value<QString>>(QStringLiteral("/M/CodeFile"));
    tree->FindOrInsert<values::Value<QString>>(QStringLiteral("/M/XmlFile"));
    Window window{tree->FindOrInsert<values::Value<bool>>(QStringLiteral("/M/Save")),
                  tree->FindOrInsert<values::Value<bool>>(QStringLiteral("/M/Available")),
                  tree->FindOrInsert<values::Value<bool>>(QStringLiteral("/M/XmlSave"))};
    window.save->SetValue(true, nullptr);
    window.available->SetValue(true, nullptr);
    handler.SetSymbol_ValuePath(QStringLiteral("/M/Symbol"));
    handler.SetMorseAvailable_ValuePath(QStringLiteral("/M/Available"));
    handler.SetMorseText_ValuePath(QStringLiteral("/M/Text"));
    handler.SetSaveDirectoryPath(directory, QStringLiteral("/M/TextFile"),
                                 QStringLiteral("/M/CodeFile"), QStringLiteral("/M/XmlFile"));
    handler.SetMorseSaveToFile_ValuePath(QStringLiteral("/M/Save"));
    handler.SetMorseXmlSaveToFile_ValuePath(QStringLiteral("/M/XmlSave"));
    handler.StartNewMorseSession();
    return window;
}

/// Runs the steps that the input bytes spell.
void runSteps(MorseHandler& handler, const Window& window, const uint8_t* data, size_t size)
{
    quint64 timestamp = 1700000000000000ULL;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t step = data[i];
        switch (step >> 5) {
        case 0:
        case 1:
        case 2:
        case 3: // symbol codes, the most common step
            handler.AddSymbol(SYMBOL_CODES[step & 7] | (step & 0x40 ? 0x80 : 0));
            break;
        case 4: { // a timestamp moved by the next two bytes, forward or back
            const int delta = i + 2 < size ? (data[i + 1] << 8 | data[i + 2]) - 0x8000 : 0;
            i += 2;
            timestamp += quint64(qint64(delta) * (step & 1 ? 1000000 : 1000));
            handler.SetTimestamp(timestamp);
            break;
        }
        case 5:
            window.xmlSave->HasChanged(CHANGE_TRIGGER, nullptr);
            break;
        case 6:
            if (step & 1)
                window.save->SetValue(!window.save->GetValue(), nullptr);
            else
                window.available->SetValue(!window.available->GetValue(), nullptr);
            break;
        default:
            if (step & 1)
                handler.EndMorseSession();
            else
                handler.StartNewMorseSession();
            break;
        }
    }
}

/// Aborts unless every file in @p dir is what it must be; removes them.
void checkFiles(QDir dir)
{
    for (const QString& name : dir.entryList(QDir::Files)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            std::abort();
        const QByteArray content = file.readAll();
        if (name.endsWith(QLatin1String(".xml"))) {
            QXmlStreamReader xml(content);
            while (!xml.atEnd())
                xml.readNext();
            if (xml.hasError())
                std::abort();
        } else if (QString::fromUtf8(content).toUtf8() != content) {
            std::abort();
        }
        file.remove();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    saveRoot = new QTemporaryDir();
    return saveRoot->isValid() ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0; // short inputs: long ones only repeat the same steps more slowly
    values::Tree::Instance()->Clear();
    const QString directory = saveRoot->path();
    {
        MorseHandler handler;
        const Window window = bindWindow(handler, directory);
        runSteps(handler, window, data, size);
        window.xmlSave->HasChanged(CHANGE_TRIGGER, nullptr);
    }
    values::Tree::Instance()->Clear();
    checkFiles(QDir(directory));
    return 0;
}
