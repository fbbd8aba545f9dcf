#pragma once

#include "tools/morsehandler/saveloss.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <memory>

class QFile;

namespace morse {

/// One session file of the Morse handler (the code file or the text file): its name, the open
/// file, the characters written since the last inserted line break, and what a failing file
/// holds back or has lost. A file is created under a fresh name, continued in a new file once
/// it has grown past the limit or its name has gone, and never overwritten.
///
/// Each piece of text costs one write straight to the file; its size is known from what was
/// written. Whether the file still has its name is looked at every 64 writes or every second
/// (the clock read every 8 writes);
/// what went into a file removed meanwhile is counted as lost.
/// What the file refuses (a full disk) is held back, up to HELD_BACK_LIMIT bytes, and goes out
/// first with the next write that succeeds; what goes beyond is lost, and a "[LOST ...]"
/// marker takes its place in the file.
class SessionFile
{
public:
    /// Makes a fresh name for the file in the save directory as it is now.
    using NameMaker = std::function<QString()>;
    /// Bytes held back for a file that refuses writes.
    static constexpr int HELD_BACK_LIMIT = 16 * 1024;

    /// @p bUtf8: the file is written in UTF-8 (the text file); else in the locale's encoding.
    SessionFile(NameMaker makeName, bool bUtf8);
    ~SessionFile();

    /// Writes @p strText, received at @p u64NowUs (SaveLoss::NO_TIME when unknown), preparing
    /// a new file first where needed; whether it reached the file (else @p strError says why).
    /// @p onOpened hears the name of a file just opened.
    bool write(const QString& strText, quint64 u64NowUs,
               const std::function<void(const QString&)>& onOpened, QString& strError);
    /// Closes the file and forgets its name: the next write starts a new file. What was still
    /// held back is lost (see loss()).
    void close();
    /// Closes the file and chooses a new name at once.
    void restart();
    const QString& name() const { return m_strName; }
    bool isOpen() const { return m_pFile != nullptr; }
    /// Whether the last write was refused.
    bool isFailing() const { return m_bFailing; }
    /// What was lost since the file last took a write whole; a marker in the file notes it.
    const SaveLoss& loss() const { return m_loss; }
    /// Forgets the loss, once the host has been told of it.
    void clearLoss() { m_loss = SaveLoss(); }

private:
    /// Chooses a new name when there is none or the file is finished; true when it did.
    bool prepare();
    bool isFinished();
    bool open(QString& strError);
    bool writeOpen(const QString& strText, quint64 u64NowUs,
                   const std::function<void(const QString&)>& onOpened, QString& strError);
    /// Appends @p strText in the file's encoding to what goes out next.
    void appendEncoded(const QString& strText);
    /// Writes what is held back; true when all of it went out.
    bool writeHeld(QString& strError);

    NameMaker m_makeName;
    bool m_bUtf8;
    QString m_strName;
    std::unique_ptr<QFile> m_pFile;
    int m_nDescriptor = -1; // m_pFile's, kept at hand for the write of each piece
    int m_nCharCount = 0;
    bool m_bFailing = false;
    QByteArray m_heldBytes; // what the file refused, to go out first
    SaveLoss m_loss;        // lost since the host was last told
    SaveLoss m_unmarked;    // lost and not yet marked in the file
    SaveLoss m_unchecked;   // written since the last look at the file's name
    qint64 m_nSize = 0;     // bytes in the open file
    int m_nWritesSinceCheck = 0;
    QElapsedTimer m_sinceCheck;
};

} // namespace morse
