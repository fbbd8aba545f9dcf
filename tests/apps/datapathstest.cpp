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
    const char* executableDir; ///< relative to the temporary folder
    const char* buildDir;
    QStringList dataDirs; ///< folders given an alphabets folder
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
    ASSERT_TRUE(QDir().mkpath(base + QLatin1String(c.buildDir)));

    DataPaths::Places places;
    places.strExecutableDir = base + QLatin1String(c.executableDir);
    places.strBuildDir = base + QLatin1String(c.buildDir);
    places.strSourceDataDir = base + QStringLiteral("src/data");
    for (const QString& dir : c.standardDirs)
        places.standardDataDirs << base + dir;

    const QString expected = *c.expected ? base + QLatin1String(c.expected) : QString();
    EXPECT_EQ(DataPaths::DataDirectory(places).toStdString(), expected.toStdString());
}

const QStringList ALL_DATA = {"src/data", "prefix/share/morsehandler", "usr/share/morsehandler"};

INSTANTIATE_TEST_SUITE_P(Places, DataPathsTest,
                         ::testing::Values(DataPlaceCase{"BuildFolderReadsTheSourceTree",
                                                         "build/apps",
                                                         "build/apps",
                                                         ALL_DATA,
                                                         {"usr/share"},
                                                         "src/data"},
                                           DataPlaceCase{"BuildFolderReadsNothingElse",
                                                         "build/apps",
                                                         "build/apps",
                                                         {"prefix/share/morsehandler",
                                                          "usr/share/morsehandler"},
                                                         {"usr/share"},
                                                         ""},
                                           DataPlaceCase{"InstalledReadsItsOwnPrefixFirst",
                                                         "prefix/bin",
                                                         "build/apps",
                                                         ALL_DATA,
                                                         {"usr/share"},
                                                         "prefix/share/morsehandler"},
                                           DataPlaceCase{"InstalledFallsBackToTheStandardFolders",
                                                         "elsewhere/bin",
                                                         "build/apps",
                                                         ALL_DATA,
                                                         {"home/share", "usr/share"},
                                                         "usr/share/morsehandler"},
                                           DataPlaceCase{"InstalledNeverReadsTheSourceTree",
                                                         "elsewhere/bin",
                                                         "build/apps",
                                                         {"src/data"},
                                                         {"usr/share"},
                                                         ""}),
                         [](const ::testing::TestParamInfo<DataPlaceCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
