#include "tools/morsehandler/filelocator.h"

#include "testfiles.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using testfiles::writeFile;

TEST(FileLocator, ExactNameWinsOverOtherCases)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("greek.mal")), {});
    writeFile(dir.filePath(QStringLiteral("Greek.mal")), {});
    EXPECT_EQ(morse::FileLocator::findInDirectory(QDir(dir.path()), QStringLiteral("Greek.mal")),
              dir.filePath(QStringLiteral("Greek.mal")));
}

TEST(FileLocator, ComposedPathWithBackslashesIsResolved)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("alphabets"));
    writeFile(dir.filePath(QStringLiteral("alphabets/Greek.mal")), {});
    EXPECT_EQ(morse::FileLocator::resolve(dir.path() + QStringLiteral("/alphabets\\GREEK.mal")),
              dir.filePath(QStringLiteral("alphabets/Greek.mal")));
    QFile file;
    EXPECT_TRUE(morse::FileLocator::open(
        file, dir.path() + QStringLiteral("\\alphabets\\Greek.mal"), QIODevice::ReadOnly));
    EXPECT_FALSE(morse::FileLocator::open(file, QString(), QIODevice::ReadOnly));
    EXPECT_TRUE(morse::FileLocator::resolve(dir.path() + QStringLiteral("/alphabets")).isEmpty())
        << "a directory is not a file";
}
