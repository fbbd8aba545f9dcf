#pragma once

// Small file helpers for tests that write their inputs into a temporary directory.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

namespace testfiles {

/// Writes @p content to @p path, replacing the file; a failure fails the test.
inline void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << qPrintable(path);
    ASSERT_EQ(file.write(content), content.size()) << qPrintable(path);
}

/// The whole content of @p path; empty when it cannot be read.
inline QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// The text of the one file in @p dir that matches @p pattern; empty unless there is exactly
/// one. @p pPath, when given, receives its path.
inline QString onlyFile(const QString& dir, const QString& pattern, QString* pPath = nullptr)
{
    const QStringList names = QDir(dir).entryList({pattern}, QDir::Files);
    const QString path = names.size() == 1 ? QDir(dir).filePath(names.first()) : QString();
    if (pPath)
        *pPath = path;
    return path.isEmpty() ? QString() : QString::fromUtf8(contentOf(path));
}

} // namespace testfiles
