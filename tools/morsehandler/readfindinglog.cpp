#include "tools/morsehandler/readfindinglog.h"
#include "tools/morsehandler/trace.h"

#include <QFileDevice>

namespace morse {

namespace {

const char* const SOURCE_FILE = "readfindinglog.cpp";

QString deviceName(const QIODevice& device)
{
    const auto* file = qobject_cast<const QFileDevice*>(&device);
    return file && !file->fileName().isEmpty() ? file->fileName() : QStringLiteral("(memory)");
}

} // namespace

ReadFindingLog::ReadFindingLog(const char* reader, const QIODevice& device, ReadFindings* out)
    : m_strReader(QString::fromLatin1(reader)), m_strFile(deviceName(device)), m_pOut(out)
{
}

void ReadFindingLog::Add(int line, const QString& reason)
{
    if (m_pOut)
        m_pOut->append(ReadFinding{line, reason});
    if (isTracingOn())
        trace(QStringLiteral("%1: '%2' line %3: %4")
                  .arg(m_strReader, m_strFile)
                  .arg(line)
                  .arg(reason),
              QString::fromLatin1(SOURCE_FILE), __LINE__);
}

void ReadFindingLog::AddUndecodable(int line, const QString& text)
{
    if (text.contains(QChar::ReplacementCharacter))
        Add(line, QStringLiteral("holds bytes that are not valid UTF-8 (each read as U+FFFD)"));
}

} // namespace morse
