#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

/// A directory that refuses new files: a read-only one made in @p dir, or, for the superuser
/// whom permission bits do not stop, a directory of the process file system. Empty when there
/// is none.
inline QString readOnlyDirectory(const QTemporaryDir& dir)
{
    if (geteuid() == 0)
        return QStringLiteral("/proc/self");
    const QString path = dir.filePath(QStringLiteral("readonly"));
    if (!QDir().mkpath(path) ||
        !QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner))
        return QString();
    return path;
}
