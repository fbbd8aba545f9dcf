// Where morsetool takes its data from: its own installation, the system's data folders, or the
// source tree when it runs from the build folder.
#include "datapaths.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct DataPlaceCase
{
    const char* name;
    const char* executableDir; ///< relative to the temporary folder; the build is in build/apps
    QStringList dataDirs;      ///< folders given an alphabets folder
    QStringList standardDirs;
    const char* expected; ///< empty: none found
};

void PrintTo(const DataPlaceCase& c, std::ostream* os)
{
    *os << c.name;
}

class DataPathsTest : public ::testing::TestWithParam<DataPlaceCase>
{
};

TEST_P(DataPathsTest, ChoosesTheDataOfWhereMorsetoolRuns)
{
    const DataPlaceCase& c = GetParam();
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString base = root.path() + QLatin1Char('/');
    for (const QString& dir : c.dataDirs)
        ASSERT_TRUE(QDir().mkpath(base + dir + QStringLiteral("/alphabets")));
    ASSERT_TRUE(QDir().mkpath(base + QLatin1String(c.executableDir)));
    ASSERT_TRUE(QDir().mkpath(base + QStringLiteral("build/apps")));

    DataPaths::Places places;
    places.strExecutableDir = base + QLatin1String(c.executableDir);
    places.strBuildDir = base + QStringLiteral("build/apps");
    places.strSourceDataDir = base + QStringLiteral("src/data");
    for (const QString& dir : c.standardDirs)
        places.standardDataDirs << base + dir;

    const QString expected = *c.expected ? base + QLatin1String(c.expected) : QString();
    EXPECT_EQ(DataPaths::DataDirectory(places).toStdString(), expected.toStdString());
}

const QStringList ALL_DATA = {"src/data", "prefix/share/morsehandler", "usr/share/morsehandler"};
const QStringList INSTALLED_DATA = {"prefix/share/morsehandler", "usr/share/morsehandler"};

const DataPlaceCase PLACES[] = {
    {"BuildFolderReadsTheSourceTree", "build/apps", ALL_DATA, {"usr/share"}, "src/data"},
    {"BuildFolderReadsNothingElse", "build/apps", INSTALLED_DATA, {"usr/share"}, ""},
    {"InstalledReadsItsOwnPrefixFirst",
     "prefix/bin",
     ALL_DATA,
     {"usr/share"},
     "prefix/share/morsehandler"},
    {"InstalledFallsBackToTheStandardFolders",
     "elsewhere/bin",
     ALL_DATA,
     {"home/share", "usr/share"},
     "usr/share/morsehandler"},
    {"InstalledNeverReadsTheSourceTree", "elsewhere/bin", {"src/data"}, {"usr/share"}, ""},
};

INSTANTIATE_TEST_SUITE_P(Places, DataPathsTest, ::testing::ValuesIn(PLACES),
                         [](const ::testing::TestParamInfo<DataPlaceCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
