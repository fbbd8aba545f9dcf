#pragma once

#include <QString>

namespace morse {

/// The rules that tie an alphabet name to its ".mal" file in an alphabets directory. The Morse
/// alphabet handler selects alphabets through them and tools that list alphabets share them.
class AlphabetDirectory
{
public:
    /// The existing file "<name>.mal" of @p directory, its name matched ignoring letter case
    /// (a directory written with backslashes is also tried with them read as separators).
    /// Empty when there is none, or when @p name is a path rather than a plain name.
    static QString FileOf(const QString& directory, const QString& name);

    /// The alphabet name of @p fileName: the part before its first "." when it ends with ".mal"
    /// in any letter case, otherwise "None".
    static QString NameOf(const QString& fileName);

    /// Reads the alphabet file at @p path: how many entries it holds and whether its text runs
    /// right to left. False, with both left alone, when the file cannot be opened.
    static bool Inspect(const QString& path, int& entryCount, bool& rightToLeft);
};

} // namespace morse
