#pragma once

#include <QString>

namespace morse {

/// Alphabet names that mean the same thing in every alphabet handler: "None" selects no
/// alphabet (text passes through unchanged); "ITA2" and "ASCII" are the charset words that end
/// codec and map names ("Base - ITA2").
class AlphabetNames
{
public:
    static const QString NONE;  ///< "None"
    static const QString ITA2;  ///< "ITA2"
    static const QString ASCII; ///< "ASCII"
    /// The separator between a codec's base name and its charset word.
    static const QString SEPARATOR;
};

} // namespace morse
