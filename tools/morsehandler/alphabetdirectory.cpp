#include "tools/morsehandler/alphabetdirectory.h"

#include "tools/morsehandler/alphabetfilereader.h"
#include "tools/morsehandler/alphabetnames.h"
#include "tools/morsehandler/filelocator.h"

#include <QFile>
#include <QMap>

namespace morse {

namespace {

const QString MAL_EXTENSION = QStringLiteral(".mal");

} // namespace

QString AlphabetDirectory::FileOf(const QString& directory, const QString& name)
{
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return QString();
    const QString dir = directory.isEmpty() ? QStringLiteral(".") : directory;
    return FileLocator::resolve(dir + QLatin1Char('/') + name + MAL_EXTENSION);
}

QString AlphabetDirectory::NameOf(const QString& fileName)
{
    if (!fileName.endsWith(MAL_EXTENSION, Qt::CaseInsensitive))
        return AlphabetNames::NONE;
    return fileName.left(fileName.indexOf(QLatin1Char('.')));
}

bool AlphabetDirectory::Inspect(const QString& path, int& entryCount, bool& rightToLeft)
{
    QFile file;
    if (!FileLocator::open(file, path, QIODevice::ReadOnly))
        return false;
    QMap<QString, QString> map;
    AlphabetFileReader::Read(file, map, rightToLeft);
    entryCount = map.size();
    return true;
}

} // namespace morse
