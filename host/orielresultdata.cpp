#include "host/orielresultdata.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QXmlStreamWriter>

#include <cerrno>
#include <cstring>

#if defined(Q_OS_UNIX)
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace OrielResultDataXml {

namespace {

QString isoUtc(const QDateTime& time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzzZ"));
}

constexpr int MAX_NAME_COUNTER = 100000;

enum class MoveResult
{
    Moved,
    Taken, // a file of the target name exists; nothing was changed
    Failed,
};

/// Moves @p from to @p to unless @p to exists, in one step that cannot replace a file that
/// appears meanwhile.
MoveResult moveWithoutReplacing(const QString& from, const QString& to)
{
#if defined(Q_OS_UNIX)
    const QByteArray source = QFile::encodeName(from);
    const QByteArray destination = QFile::encodeName(to);
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, destination.constData(),
                    RENAME_NOREPLACE) == 0)
        return MoveResult::Moved;
    if (errno == EEXIST)
        return MoveResult::Taken;
    if (errno != EINVAL && errno != ENOSYS)
        return MoveResult::Failed;
        // The file system does not know the flag: a hard link refuses an existing name as well.
#endif
    if (::link(source.constData(), destination.constData()) == 0) {
        ::unlink(source.constData());
        return MoveResult::Moved;
    }
    return errno == EEXIST ? MoveResult::Taken : MoveResult::Failed;
#else
    if (QFileInfo::exists(to))
        return MoveResult::Taken;
    return QFile::rename(from, to) ? MoveResult::Moved : MoveResult::Failed;
#endif
}

bool syncToDisk(QFile& file)
{
#if defined(Q_OS_UNIX)
    return ::fsync(file.handle()) == 0;
#else
    Q_UNUSED(file);
    return true;
#endif
}

/// The temporary file a report is first written to: hidden, after the report's name, with the
/// writing process's id so that another process can tell whether it is still being written.
QString temporaryTemplate(const QDir& directory, const QString& strName)
{
    return directory.filePath(
        QStringLiteral(".%1.%2.XXXXXX").arg(strName).arg(QCoreApplication::applicationPid()));
}

/// Whether the process @p nPid has gone, so that its temporary files will never be finished.
bool hasEnded(qint64 nPid)
{
#if defined(Q_OS_UNIX)
    return nPid > 0 && ::kill(static_cast<pid_t>(nPid), 0) != 0 && errno == ESRCH;
#else
    Q_UNUSED(nPid);
    return false;
#endif
}

/// "dir/name_N.ext" for "dir/name.ext".
QString numberedPath(const QFileInfo& target, int counter)
{
    const QString suffix = target.suffix();
    const QString name = target.completeBaseName() + QStringLiteral("_%1").arg(counter) +
                         (suffix.isEmpty() ? QString() : QStringLiteral(".") + suffix);
    return target.absoluteDir().absoluteFilePath(name);
}

/// Whether XML 1.0 can carry the code unit @p unit outside a surrogate pair.
bool isXmlCharacter(ushort unit)
{
    return (unit >= 0x20 && unit < 0xD800) || (unit > 0xDFFF && unit < 0xFFFE) || unit == 0x09 ||
           unit == 0x0A || unit == 0x0D;
}

/// Writes @p text as character data that reads back the same: a carriage return as a
/// character reference (a reader would turn a raw one into a line feed), and each character
/// that XML cannot carry (control characters, a lone surrogate, U+FFFE) as U+FFFD, where the
/// writer would drop it or break the document.
void writeText(QXmlStreamWriter& xml, const QString& text)
{
    QString run;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            run += c;
            run += text.at(++i);
        } else if (c == QLatin1Char('\r')) {
            xml.writeCharacters(run);
            run.clear();
            xml.writeEntityReference(QStringLiteral("#13"));
        } else {
            run += isXmlCharacter(c.unicode()) ? c : QChar(QChar::ReplacementCharacter);
        }
    }
    xml.writeCharacters(run);
}

void writeBlock(QXmlStreamWriter& xml, const DataBlock& block)
{
    xml.writeStartElement(QStringLiteral("DataBlock"));
    xml.writeAttribute(QStringLiteral("a"), QString::number(block.A()));
    xml.writeAttribute(QStringLiteral("b"), QString::number(block.B()));
    xml.writeAttribute(QStringLiteral("c"), QString::number(block.C()));
    for (const DataBlock::Frame& frame : block.Frames()) {
        xml.writeStartElement(QStringLiteral("Frame"));
        xml.writeAttribute(QStringLiteral("timestamp"), QString::number(frame.timestamp));
        writeText(xml, frame.text);
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

} // namespace

// --- DataBlock ---------------------------------------------------------------------------

DataBlock::DataBlock(int a, int b, int c) : m_nA(a), m_nB(b), m_nC(c) {}

void DataBlock::BeginFrame()
{
    m_vecFrames.append(Frame{});
    m_bFrameOpen = true;
}

void DataBlock::EndFrame()
{
    m_bFrameOpen = false;
}

void DataBlock::SetTimeStamp(quint64 us)
{
    openFrame()->timestamp = us;
}

void DataBlock::AppendData(const QString& text)
{
    openFrame()->text += text;
}

DataBlock::Frame* DataBlock::openFrame()
{
    if (!m_bFrameOpen)
        BeginFrame(); // data outside BeginFrame/EndFrame gets a frame of its own
    return &m_vecFrames.last();
}

// --- Transmission ------------------------------------------------------------------------

Transmission::Transmission() = default;
Transmission::~Transmission() = default;

void Transmission::SetStartTime(const QDateTime& start)
{
    m_dtStart = start;
}

void Transmission::SetStopTime(const QDateTime& stop)
{
    m_dtStop = stop;
}

void Transmission::AddDataBlock(DataBlock* block)
{
    if (block)
        m_vecBlocks.emplace_back(block);
}

// --- OrielResultData ---------------------------------------------------------------------

OrielResultData::OrielResultData() = default;
OrielResultData::~OrielResultData() = default;

void OrielResultData::SetWorkDir(const QString& directory)
{
    if (directory != m_strWorkDir)
        RemoveStaleTemporaryFiles(directory);
    m_strWorkDir = directory;
}

int OrielResultData::RemoveStaleTemporaryFiles(const QString& directory)
{
    // ".<report name>.xml.<pid>.<six characters>", left by a process killed while it saved.
    static const QRegularExpression temporaryName(
        QStringLiteral("^\\..+\\.xml\\.(\\d+)\\.[A-Za-z0-9]{6}$"));
    const QDir folder(directory);
    if (directory.isEmpty() || !folder.exists())
        return 0;
    int nRemoved = 0;
    const QStringList names =
        folder.entryList({QStringLiteral(".*.xml.*")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QRegularExpressionMatch match = temporaryName.match(name);
        if (match.hasMatch() && hasEnded(match.captured(1).toLongLong()) &&
            QFile::remove(folder.filePath(name)))
            ++nRemoved;
    }
    return nRemoved;
}

void OrielResultData::AddTransmission(Transmission* transmission)
{
    if (transmission)
        m_vecTransmissions.emplace_back(transmission);
}

QByteArray OrielResultData::ToXml() const
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("OrielResultData"));
    for (const auto& transmission : m_vecTransmissions) {
        xml.writeStartElement(QStringLiteral("Transmission"));
        if (transmission->StartTime().isValid())
            xml.writeAttribute(QStringLiteral("start"), isoUtc(transmission->StartTime()));
        if (transmission->StopTime().isValid())
            xml.writeAttribute(QStringLiteral("stop"), isoUtc(transmission->StopTime()));
        for (const auto& block : transmission->DataBlocks())
            writeBlock(xml, *block);
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}

bool OrielResultData::SaveFile(const QString& fileName)
{
    m_strSavedFilePath.clear();
    m_strError.clear();
    m_bSavedUnderOtherName = false;
    if (fileName.isEmpty())
        return fail(QStringLiteral("no file name"));
    // A bare name goes into the work directory; a name with a directory part (which callers
    // usually compose from the work directory themselves) is taken as it is.
    const bool bareName =
        !fileName.contains(QLatin1Char('/')) && !fileName.contains(QLatin1Char('\\'));
    const QFileInfo target(bareName && !m_strWorkDir.isEmpty()
                               ? QDir(m_strWorkDir).absoluteFilePath(fileName)
                               : fileName);
    const QDir directory = target.absoluteDir();
    if (target.fileName().isEmpty() || !directory.exists())
        return fail(QStringLiteral("the directory \"%1\" does not exist").arg(directory.path()));

    // Written completely under a temporary name first, so that no reader ever sees half a
    // report, then moved to the first free name.
    QTemporaryFile file(temporaryTemplate(directory, target.fileName()));
    if (!file.open())
        return fail(file.errorString());
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                        QFileDevice::ReadOther);
    const QByteArray xml = ToXml();
    if (file.write(xml) != xml.size() || !file.flush() || !syncToDisk(file))
        return fail(file.errorString());
    file.close();

    for (int counter = 1; counter <= MAX_NAME_COUNTER; ++counter) {
        const QString candidate =
            counter == 1 ? target.absoluteFilePath() : numberedPath(target, counter);
        switch (moveWithoutReplacing(file.fileName(), candidate)) {
        case MoveResult::Moved:
            m_strSavedFilePath = candidate;
            m_bSavedUnderOtherName = counter > 1;
            return true;
        case MoveResult::Taken:
            continue;
        case MoveResult::Failed:
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
        }
    }
    return fail(QStringLiteral("no free name"));
}

bool OrielResultData::fail(const QString& error)
{
    m_strError = error.isEmpty() ? QStringLiteral("unknown error") : error;
    return false;
}

void OrielResultData::Reset()
{
    m_vecTransmissions.clear();
}

} // namespace OrielResultDataXml
