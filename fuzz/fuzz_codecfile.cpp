// Feeds arbitrary bytes to the codec file reader, then translates through what it read.

#include "tools/morsehandler/codecfilereader.h"
#include "tools/morsehandler/flatcodectable.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("input.codec"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();

    QMap<char, ushort> table;
    bool rightToLeft = false;
    morse::CodecFileReader::Read(path, table, rightToLeft);

    morse::FlatCodecTable flat;
    flat.Assign(table);
    QString all;
    for (int code = 0; code < 256; ++code)
        all += QChar(static_cast<ushort>(code));
    const QString shown = flat.Translate(all);
    if (shown.size() != all.size() || flat.Backtranslate(shown).size() != all.size())
        __builtin_trap();
    return 0;
}
