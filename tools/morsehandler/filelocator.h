#pragma once

#include <QDir>
#include <QFile>
#include <QString>

namespace morse {

/// Finds files the way the host application's file system would: names are matched without
/// regard to letter case, and a composed path may use backslashes as separators.
class FileLocator
{
public:
    /// The absolute path of the file called @p name in @p dir, matched ignoring letter case
    /// (an exact match wins); empty when there is none.
    static QString findInDirectory(const QDir& dir, const QString& name);

    /// An existing file for @p path: the path as given; else, if it contains backslashes,
    /// the same path with each backslash read as a directory separator; in both cases the
    /// file name may differ in letter case. Empty when nothing is found.
    static QString resolve(const QString& path);

    /// Where a file of the composed @p path is to be written: the path as given when its
    /// directory exists; else, if it contains backslashes and the directory it names with each
    /// backslash read as a separator exists, that path; else the path as given.
    static QString writablePath(const QString& path);

    /// Opens @p file on the path that resolve() finds for @p path. False if none can be opened.
    static bool open(QFile& file, const QString& path, QIODevice::OpenMode mode);
};

} // namespace morse
