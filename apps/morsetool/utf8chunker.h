#pragma once

#include <QByteArray>
#include <QString>

/// Cuts a stream of UTF-8 bytes, arriving in pieces of any size, into text at character
/// boundaries: a character split between two pieces is held back until its last byte comes.
/// Lets a command translate its input in bounded memory, piece by piece, with the result it
/// would give on the whole input. Bytes that are not UTF-8 read as U+FFFD, as
/// QString::fromUtf8 reads them, and are remembered.
class Utf8Chunker
{
public:
    /// Adds @p bytes and returns the text of every whole character they complete.
    QString take(const QByteArray& bytes);
    /// The text of the bytes still held back (an incomplete character: not UTF-8), which are
    /// then dropped.
    QString flush();
    /// Whether any byte so far was not UTF-8 (a character left incomplete by flush() counts).
    bool sawInvalidBytes() const { return m_bInvalid; }
    /// Bytes decoded so far (for messages).
    qint64 decodedBytes() const { return m_nDecodedBytes; }

private:
    QString decode(int length);

    QByteArray m_pending;
    qint64 m_nDecodedBytes = 0;
    bool m_bInvalid = false;
};
