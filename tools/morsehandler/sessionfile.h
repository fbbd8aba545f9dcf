#pragma once

#include <QString>

#include <functional>
#include <memory>

class QFile;
class QTextStream;

namespace morse {

/// One session file of the Morse handler (the code file or the text file): its name, the open
/// file and stream, the characters written since the last inserted line break, and whether its
/// last write failed. A file is created under a fresh name, continued in a new file once it has
/// grown past the limit or its name has gone, and never overwritten.
class SessionFile
{
public:
    /// Makes a fresh name for the file in the save directory as it is now.
    using NameMaker = std::function<QString()>;

    /// @p bUtf8: the stream writes UTF-8 (the text file); else the locale's codec.
    SessionFile(NameMaker makeName, bool bUtf8);
    ~SessionFile();

    /// Writes @p strText, preparing a new file first where needed; whether it reached the file
    /// (else @p strError says why). @p onOpened hears the name of a file just opened.
    bool write(const QString& strText, const std::function<void(const QString&)>& onOpened,
               QString& strError);
    /// Closes the file and forgets its name: the next write starts a new file.
    void close();
    /// Closes the file and chooses a new name at once.
    void restart();
    const QString& name() const { return m_strName; }
    bool isOpen() const { return m_pFile != nullptr; }
    /// Whether the last write was lost.
    bool isFailing() const { return m_bFailing; }

private:
    /// Chooses a new name when there is none or the file is finished; true when it did.
    bool prepare();
    bool open(QString& strError);
    bool writeOpen(const QString& strText, const std::function<void(const QString&)>& onOpened,
                   QString& strError);

    NameMaker m_makeName;
    bool m_bUtf8;
    QString m_strName;
    std::unique_ptr<QFile> m_pFile;
    std::unique_ptr<QTextStream> m_pStream;
    int m_nCharCount = 0;
    bool m_bFailing = false;
};

} // namespace morse
