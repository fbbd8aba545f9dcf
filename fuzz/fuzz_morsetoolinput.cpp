// Fuzzes the text input of `morsetool decode`: whatever the bytes, reading them must end,
// yield only what it could read and, on refusal, say which line.

#include "textsymbolsource.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(reinterpret_cast<const char*>(data), static_cast<int>(size));
    buffer->open(QIODevice::ReadOnly);
    TextSymbolSource source(std::move(buffer));

    SymbolSource::Symbol symbol;
    size_t symbols = 0;
    while (source.next(symbol)) {
        // Every input byte yields at most one symbol (a line end or a timestamp carrier
        // takes its line feed or its "@t").
        if (++symbols > size + 1)
            std::abort();
    }
    const QString error = source.errorString();
    if (!error.isEmpty() && !error.startsWith(QLatin1String("line ")))
        std::abort();
    return 0;
}
