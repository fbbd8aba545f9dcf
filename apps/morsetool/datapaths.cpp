#include "datapaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

bool holdsData(const QString& candidate)
{
    return !candidate.isEmpty() && QFileInfo(candidate + QStringLiteral("/alphabets")).isDir();
}

bool isSameDirectory(const QString& a, const QString& b)
{
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    return !canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath();
}

} // namespace

QString DataPaths::DataDirectory(const Places& places)
{
    QStringList candidates;
    if (isSameDirectory(places.strExecutableDir, places.strBuildDir)) {
        candidates << places.strSourceDataDir;
    } else {
        candidates << places.strExecutableDir + QStringLiteral("/../share/morsehandler");
        for (const QString& dir : places.standardDataDirs)
            candidates << dir + QStringLiteral("/morsehandler");
    }
    for (const QString& candidate : candidates) {
        if (holdsData(candidate))
            return QDir(candidate).absolutePath();
    }
    return QString();
}

QString DataPaths::DataDirectory()
{
    Places places;
    places.strExecutableDir = QCoreApplication::applicationDirPath();
    places.strBuildDir = QStringLiteral(MORSETOOL_BUILD_DIR);
    places.strSourceDataDir = QStringLiteral(MORSETOOL_SOURCE_DATA_DIR);
    places.standardDataDirs =
        QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    return DataDirectory(places);
}

QString DataPaths::AlphabetsDirectory()
{
    const QString data = DataDirectory();
    return data.isEmpty() ? QString() : data + QStringLiteral("/alphabets");
}

QString DataPaths::CodecsDirectory()
{
    const QString data = DataDirectory();
    return data.isEmpty() ? QString() : data + QStringLiteral("/codecs");
}

QString DataPaths::DecoderModulesFile()
{
    const QString data = DataDirectory();
    return data.isEmpty() ? QString() : data + QStringLiteral("/decodermodules.txt");
}
