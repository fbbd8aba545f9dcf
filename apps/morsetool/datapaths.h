#pragma once

#include <QString>

/// Where morsetool finds the bundled data: beside the source tree for a build, in the
/// installed data directory, or next to the executable.
class DataPaths
{
public:
    /// The first existing directory of: the build's source data, <exe>/../share/morsehandler,
    /// the installed data directory. Empty when none exists.
    static QString DataDirectory();
    static QString AlphabetsDirectory();
    static QString CodecsDirectory();
    static QString DecoderModulesFile();
};
