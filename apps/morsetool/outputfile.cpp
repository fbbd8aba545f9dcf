#include "outputfile.h"

#include "commandline.h"

#include <QFile>

#include <cerrno>
#include <cstring>

OutputFile::~OutputFile()
{
    if (m_bOwned && m_pStream)
        std::fclose(m_pStream);
}

bool OutputFile::open(const QString& path, QString& error)
{
    if (path.isEmpty() || path == QLatin1String("-")) {
        m_pStream = stdout;
        m_strPath = QStringLiteral("standard output");
        return true;
    }
    // "x": created here, never an existing file.
    m_pStream = std::fopen(QFile::encodeName(path).constData(), "wx");
    if (!m_pStream) {
        error = CommandLine::CannotOpen(path, errno == EEXIST
                                                  ? QStringLiteral("the file exists")
                                                  : QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_strPath = path;
    m_bOwned = true;
    if (!CommandLine::IsTerminal(m_pStream))
        std::setvbuf(m_pStream, nullptr, _IOLBF, 1 << 16);
    return true;
}

bool OutputFile::failed() const
{
    return m_pStream && std::ferror(m_pStream);
}

bool OutputFile::close(QString& error)
{
    if (!m_pStream)
        return true;
    bool ok = CommandLine::FinishOutput(m_pStream, m_strPath, error);
    if (m_bOwned && std::fclose(m_pStream) != 0 && ok) {
        error = QStringLiteral("cannot write %1: %2")
                    .arg(m_strPath, QString::fromLocal8Bit(std::strerror(errno)));
        ok = false;
    }
    m_pStream = nullptr;
    m_bOwned = false;
    return ok;
}
