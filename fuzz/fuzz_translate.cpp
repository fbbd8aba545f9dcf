// Feeds arbitrary marker text to SimpleMorseHandler::Translate in pieces: every byte 0x01 of
// the input ends one Translate call. No call may crash or hang, and the symbols left pending
// between calls stay bounded and hold no separator.

#include "tools/morsecore/internationalalphabet.h"
#include "tools/morsehandler/simplemorsehandler.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

class SimpleMorseHandlerProbe
{
public:
    static const QString& pending(const SimpleMorseHandler& handler)
    {
        return handler.pendingSymbols();
    }
};

namespace {

const SimpleMorseHandler* prototype = nullptr; // International alphabet selected

void check(const SimpleMorseHandler& handler)
{
    const QString& pending = SimpleMorseHandlerProbe::pending(handler);
    if (pending.size() > SimpleMorseHandler::MAX_PENDING_SYMBOLS || pending.contains(' ') ||
        pending.contains('\t') || pending.contains('\n'))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    QTemporaryDir alphabets;
    QFile file(alphabets.filePath(QStringLiteral("Intl.mal")));
    if (!file.open(QIODevice::WriteOnly))
        std::abort();
    for (int i = 0; i < morse::InternationalAlphabet::ENTRY_COUNT; ++i) {
        const auto& entry = morse::InternationalAlphabet::Entries()[i];
        file.write(QByteArray(entry.text) + '\t' + entry.code + '\n');
    }
    file.close();
    auto* handler = new SimpleMorseHandler; // lives for the whole run
    handler->SetAlphabetsDir(alphabets.path());
    if (!handler->SetAlphabet(QStringLiteral("Intl")))
        std::abort();
    prototype = handler;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SimpleMorseHandler handler(*prototype);
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    for (const QByteArray& piece : bytes.split('\x01')) {
        handler.Translate(QString::fromUtf8(piece));
        check(handler);
    }
    return 0;
}
