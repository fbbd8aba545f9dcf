#pragma once

#include "tools/morsehandler/sessionfile.h"

#include <QString>

#include <functional>

namespace morse {

/// The Morse handler's two session files while saving is on: the code file (symbols and error
/// markers) and the text file (decoded text, UTF-8). Named
/// "<UTC time>_<counter>_MO__<frequency>[__<alphabet>].txt" in the save directory.
///
/// Files that cannot be written cost the text that could not be stored, never the reception:
/// each failure episode is traced once and every later write tries again.
class SessionFiles
{
public:
    /// What the names are made of, asked for each time a name is made.
    struct NameParts
    {
        std::function<QString()> frequency; ///< "7_030KHz"-style, or empty
        std::function<QString()> alphabet;  ///< the selected alphabet's name
    };
    /// Hears the full name of the code file (@p bText false) or text file when it is opened.
    using OpenedListener = std::function<void(bool bText, const QString& strName)>;

    SessionFiles(NameParts parts, OpenedListener onOpened);

    void setDirectory(const QString& strDirectory) { m_strDirectory = strDirectory; }
    /// Writes @p strText to the text file and @p strCode to the code file; an empty one is not
    /// written and opens no file.
    void save(const QString& strCode, const QString& strText);
    void closeAll();
    /// Closes both files and chooses new names, as a change of frequency or mode asks.
    void restart();

private:
    QString freeName(const QString& strSuffix, const char* szOperation) const;
    void saveTo(SessionFile& file, const QString& strText);

    NameParts m_parts;
    OpenedListener m_onOpened;
    QString m_strDirectory;
    SessionFile m_codeFile;
    SessionFile m_textFile;
};

} // namespace morse
