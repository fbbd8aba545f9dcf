#pragma once

#include <QTextStream>

namespace morse {

/// The text stream through which codec and map files are read: UTF-8 unless a byte-order mark
/// selects UTF-16 or UTF-32, so that a file reads the same on every machine whatever its locale.
class CodecTextStream : public QTextStream
{
public:
    /// Reads @p device, which stays the caller's.
    explicit CodecTextStream(QIODevice* device) : QTextStream(device)
    {
        setCodec("UTF-8");
        setAutoDetectUnicode(true);
    }
};

} // namespace morse
