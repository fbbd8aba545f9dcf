#include "tools/morsehandler/filelocator.h"

#include <QFileInfo>

namespace morse {

namespace {

QString existingFileIgnoringCase(const QString& path)
{
    const QFileInfo info(path);
    if (info.isFile())
        return info.absoluteFilePath();
    return FileLocator::findInDirectory(info.absoluteDir(), info.fileName());
}

} // namespace

QString FileLocator::findInDirectory(const QDir& dir, const QString& name)
{
    if (name.isEmpty())
        return QString();
    const QFileInfo exact(dir, name);
    if (exact.isFile())
        return exact.absoluteFilePath();
    if (name.contains(QLatin1Char('/')))
        return QString();
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return dir.absoluteFilePath(entry);
    }
    return QString();
}

QString FileLocator::resolve(const QString& path)
{
    if (path.isEmpty())
        return QString();
    QString found = existingFileIgnoringCase(path);
    if (found.isEmpty() && path.contains(QLatin1Char('\\'))) {
        QString slashed = path;
        slashed.replace(QLatin1Char('\\'), QLatin1Char('/'));
        found = existingFileIgnoringCase(slashed);
    }
    return found;
}

QString FileLocator::writablePath(const QString& path)
{
    if (!path.contains(QLatin1Char('\\')) || QFileInfo(path).absoluteDir().exists())
        return path;
    QString slashed = path;
    slashed.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QFileInfo(slashed).absoluteDir().exists() ? slashed : path;
}

bool FileLocator::open(QFile& file, const QString& path, QIODevice::OpenMode mode)
{
    const QString found = resolve(path);
    if (found.isEmpty())
        return false;
    file.setFileName(found);
    return file.open(mode);
}

} // namespace morse
