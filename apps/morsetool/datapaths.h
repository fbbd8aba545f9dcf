#pragma once

#include <QString>
#include <QStringList>

/// Where morsetool finds the bundled data (alphabets, codecs, the decoder modules file). An
/// installed morsetool reads the data of its own installation; a morsetool run from the build
/// folder reads the source tree it was built from, and nothing else.
class DataPaths
{
public:
    /// Where one morsetool runs, and what it can look at.
    struct Places
    {
        QString strExecutableDir;     ///< the folder the running executable lies in
        QString strBuildDir;          ///< the folder the build puts the executable in
        QString strSourceDataDir;     ///< the data folder of the source tree built from
        QStringList standardDataDirs; ///< the system's data folders, in search order
    };

    /// The data directory for @p places: the source data when the executable runs from its
    /// build folder; otherwise <exe>/../share/morsehandler, then "morsehandler" in the first
    /// standard data folder that has one. Empty when none holds an alphabets folder.
    static QString DataDirectory(const Places& places);

    /// DataDirectory() for the running morsetool.
    static QString DataDirectory();
    static QString AlphabetsDirectory();
    static QString CodecsDirectory();
    static QString DecoderModulesFile();
};
