#pragma once

// Small file helpers for tests that write their inputs into a temporary directory.

#include <gtest/gtest.h>

#include <QByteArray>
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

} // namespace testfiles
