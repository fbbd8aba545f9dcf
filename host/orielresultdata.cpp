#include "host/orielresultdata.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <algorithm>
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

/// Appends the code point @p codePoint to @p out in UTF-8.
void appendUtf8(QByteArray& out, uint codePoint)
{
    if (codePoint < 0x80) {
        out += char(codePoint);
    } else if (codePoint < 0x800) {
        out += char(0xC0 | (codePoint >> 6));
        out += char(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += char(0xE0 | (codePoint >> 12));
        out += char(0x80 | ((codePoint >> 6) & 0x3F));
        out += char(0x80 | (codePoint & 0x3F));
    } else {
        out += char(0xF0 | (codePoint >> 18));
        out += char(0x80 | ((codePoint >> 12) & 0x3F));
        out += char(0x80 | ((codePoint >> 6) & 0x3F));
        out += char(0x80 | (codePoint & 0x3F));
    }
}

/// Appends @p text to @p out as UTF-8 character data that reads back the same: the markup
/// characters and the quote as entities, a carriage return as a character reference (a reader
/// would turn a raw one into a line feed), and each character that XML cannot carry (control
/// characters, a lone surrogate, U+FFFE) as U+FFFD.
void appendText(QByteArray& out, const QString& text)
{
    const QChar* units = text.constData();
    const int count = text.size();
    for (int i = 0; i < count; ++i) {
        const ushort unit = units[i].unicode();
        switch (unit) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            if (unit < 0x80 && isXmlCharacter(unit)) {
                out += char(unit);
            } else if (QChar::isHighSurrogate(unit) && i + 1 < count &&
                       units[i + 1].isLowSurrogate()) {
                appendUtf8(out, QChar::surrogateToUcs4(unit, units[++i].unicode()));
            } else {
                appendUtf8(out, isXmlCharacter(unit) ? unit : uint(QChar::ReplacementCharacter));
            }
        }
    }
}

/// Appends a new line and the indent of an element @p depth levels down.
void appendIndent(QByteArray& out, int depth)
{
    out += '\n';
    out.append(4 * depth, ' ');
}

void appendBlock(QByteArray& out, const DataBlock& block)
{
    appendIndent(out, 2);
    out += "<DataBlock a=\"";
    out += QByteArray::number(block.A());
    out += "\" b=\"";
    out += QByteArray::number(block.B());
    out += "\" c=\"";
    out += QByteArray::number(block.C());
    if (block.Frames().isEmpty()) {
        out += "\"/>";
        return;
    }
    out += "\">";
    for (const DataBlock::Frame& frame : block.Frames()) {
        appendIndent(out, 3);
        out += "<Frame timestamp=\"";
        out += QByteArray::number(frame.timestamp);
        out += "\">";
        appendText(out, frame.text);
        out += "</Frame>";
    }
    appendIndent(out, 2);
    out += "</DataBlock>";
}

/// Bytes a report of @p transmissions will take, near enough to write it without growing.
int expectedSize(const std::vector<std::unique_ptr<Transmission>>& transmissions)
{
    qint64 size = 256;
    for (const auto& transmission : transmissions) {
        size += 128;
        for (const auto& block : transmission->DataBlocks()) {
            size += 96;
            for (const DataBlock::Frame& frame : block->Frames())
                size += 48 + frame.text.size();
        }
    }
    return int(std::min<qint64>(size, 1 << 30));
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
    // Written directly rather than through an XML stream writer, in the same layout (indented
    // by four blanks a level): a report of tens of thousands of frames is saved while the
    // reception goes on, and the stream writer took most of that time.
    QByteArray out;
    out.reserve(expectedSize(m_vecTransmissions));
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<OrielResultData";
    if (m_vecTransmissions.empty()) {
        out += "/>\n";
        return out;
    }
    out += '>';
    for (const auto& transmission : m_vecTransmissions) {
        appendIndent(out, 1);
        out += "<Transmission";
        if (transmission->StartTime().isValid())
            out += " start=\"" + isoUtc(transmission->StartTime()).toUtf8() + '"';
        if (transmission->StopTime().isValid())
            out += " stop=\"" + isoUtc(transmission->StopTime()).toUtf8() + '"';
        if (transmission->DataBlocks().empty()) {
            out += "/>";
            continue;
        }
        out += '>';
        for (const auto& block : transmission->DataBlocks())
            appendBlock(out, *block);
        appendIndent(out, 1);
        out += "</Transmission>";
    }
    out += "\n</OrielResultData>\n";
    return out;
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
