#pragma once

#include "tools/morsehandler/sessionfile.h"

#include <QString>

#include <functional>

namespace morse {

/// The Morse handler's two session files while saving is on: the code file (symbols and error
/// markers) and the text file (decoded text, UTF-8). Named
/// "<UTC time>_<counter>_MO__<frequency>[__<alphabet>].txt" in the save directory (another
/// reception, such as a teleprinter one, gives its own tag in place of "_MO__").
///
/// Files that cannot be written cost the text that could not be stored, never the reception:
/// each failure episode (from the first refused write until every file takes writes again) is
/// traced and told to the episode listener once as it starts and once as it ends, with what was
/// lost; every later write tries again.
class SessionFiles
{
public:
    /// What the names are made of, asked for each time a name is made.
    struct NameParts
    {
        std::function<QString()> frequency;    ///< "7_030KHz"-style, or empty
        std::function<QString()> alphabet;     ///< the selected alphabet's name
        QString tag = QStringLiteral("_MO__"); ///< the kind of reception
    };
    /// Hears the full name of the code file (@p bText false) or text file when it is opened.
    using OpenedListener = std::function<void(bool bText, const QString& strName)>;

    SessionFiles(NameParts parts, OpenedListener onOpened);

    void setEpisodeListener(SaveEpisodeListener listener) { m_onEpisode = std::move(listener); }
    /// The time of the text saved from now on (microseconds since 1970 UTC).
    void setTimestamp(quint64 u64Us) { m_u64Timestamp = u64Us; }
    /// Whether a failure episode is going on.
    bool isFailing() const { return m_bEpisode; }

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
    void startEpisode(const QString& strFile, const QString& strError);
    /// Tells the end of the episode going on, with what both files lost.
    void endEpisode(bool bRecovered);

    NameParts m_parts;
    OpenedListener m_onOpened;
    QString m_strDirectory;
    SessionFile m_codeFile;
    SessionFile m_textFile;
    SaveEpisodeListener m_onEpisode;
    quint64 m_u64Timestamp = SaveLoss::NO_TIME;
    bool m_bEpisode = false;
    QString m_strEpisodeFile; // the file that failed first in the episode
};

} // namespace morse
