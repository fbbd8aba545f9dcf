#pragma once

#include <QString>

/// Cuts marker text that arrives in pieces of any size into runs that end at a character,
/// word or line end, so that SimpleMorseHandler::Translate gives the same text however the
/// input was split. An error marker such as "[PAUSE TO SHORT]" holds blanks of its own; the
/// chunker never cuts at a blank inside brackets, and holds back everything after the last cut.
class MarkerChunker
{
public:
    /// Held-back text beyond this size is released at its last separator even inside brackets,
    /// or whole when it has none: marker text never gets there, and memory stays bounded.
    static constexpr int MAX_HELD = 64 * 1024;

    /// Adds @p text; returns the part that is ready for Translate (possibly empty).
    QString take(const QString& text);
    /// Returns everything still held back (end of input).
    QString finish();

private:
    QString m_strHeld;
};
