#pragma once

#include <QString>

#include <cstdio>

/// Where a command writes its text: standard output ("-") or a new file that is never an
/// existing one. Write failures are kept by the stream and reported by close().
class OutputFile
{
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    /// Opens @p path ("-" or empty: standard output); false with @p error when the file exists
    /// or cannot be created.
    bool open(const QString& path, QString& error);
    FILE* stream() const { return m_pStream; }
    /// True once a write has failed; the rest need not be produced.
    bool failed() const;
    /// Flushes and closes; false with @p error when anything written was lost.
    bool close(QString& error);

private:
    FILE* m_pStream = nullptr;
    QString m_strPath;
    bool m_bOwned = false;
};
