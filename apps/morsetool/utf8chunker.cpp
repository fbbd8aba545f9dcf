#include "utf8chunker.h"

namespace {

/// The number of bytes a character has whose first byte is @p lead; 0 for a byte that cannot
/// begin one.
int sequenceLength(uchar lead)
{
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 0;
}

/// The length of the longest prefix of @p bytes that does not end inside a character.
int wholePrefixLength(const QByteArray& bytes)
{
    const int size = bytes.size();
    for (int back = 1; back <= 3 && back <= size; ++back) {
        const uchar byte = static_cast<uchar>(bytes.at(size - back));
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: its lead is further back
        return sequenceLength(byte) > back ? size - back : size;
    }
    return size; // no lead in reach: invalid bytes, which decoding shows
}

} // namespace

QString Utf8Chunker::take(const QByteArray& bytes)
{
    m_pending += bytes;
    return decode(wholePrefixLength(m_pending));
}

QString Utf8Chunker::flush()
{
    return decode(m_pending.size());
}

QString Utf8Chunker::decode(int length)
{
    // With an explicit size: NUL bytes are text, not its end.
    const QString text = QString::fromUtf8(m_pending.constData(), length);
    if (!m_bInvalid && text.toUtf8() != QByteArray::fromRawData(m_pending.constData(), length))
        m_bInvalid = true;
    m_pending.remove(0, length);
    m_nDecodedBytes += length;
    return text;
}
