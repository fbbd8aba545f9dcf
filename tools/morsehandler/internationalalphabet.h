#pragma once

#include "tools/morsehandler/morsehandler_export.h"

#include <QMap>
#include <QString>

namespace morse {

/// The built-in International Morse alphabet of 53 entries: A-Z, 0-9, punctuation and the two
/// whole words "WARNING" (.-..-) and "ERROR" (eight dots). Every class that needs the built-in
/// alphabet fills its map from here.
class MORSEHANDLER_EXPORT InternationalAlphabet
{
public:
    /// One character (or word) and its dots and dashes.
    struct Entry
    {
        const char* text;
        const char* code;
    };

    /// How many entries Entries() holds.
    static constexpr int ENTRY_COUNT = 53;
    /// The entries in their canonical order: A to Z, 1 to 9, 0, then the punctuation and words.
    static const Entry* Entries();
    /// Replaces the content of @p map (text to code) with the built-in alphabet.
    static void Fill(QMap<QString, QString>& map);
};

} // namespace morse
