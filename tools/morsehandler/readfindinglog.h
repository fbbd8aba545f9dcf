#pragma once

#include "tools/morsehandler/readfinding.h"

#include <QIODevice>
#include <QString>

namespace morse {

/// Where the readers of data files tell their findings: each finding is traced (with the file's
/// name when the device is a file) and, when the caller asked for them, kept in its list.
class ReadFindingLog
{
public:
    /// Tells the findings of @p reader on @p device; @p out may be null.
    ReadFindingLog(const char* reader, const QIODevice& device, ReadFindings* out);

    /// Records that line @p line was skipped or taken unusually, for @p reason.
    void Add(int line, const QString& reason);
    /// Records that line @p line held bytes that did not decode, when @p text shows them.
    void AddUndecodable(int line, const QString& text);

private:
    QString m_strReader;
    QString m_strFile;
    ReadFindings* m_pOut;
};

} // namespace morse
