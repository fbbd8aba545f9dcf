#pragma once

#include <QString>

namespace LanternIT {
class DecoderModulesCenter;
}

/// Opens the process-wide decoder modules catalogue for morsetool: on the file that the
/// configuration centre names ("DecoderModulesFile" in the scope "AllLanternApplications",
/// see CFGCENTER_FILE), else on the bundled data/decodermodules.txt. Call it before
/// constructing anything that reads the catalogue; the first call fixes the file.
class ModulesCatalogue
{
public:
    /// The catalogue; @p pPath, when given, receives the file it reads.
    static LanternIT::DecoderModulesCenter* Open(QString* pPath = nullptr);
    /// The file the catalogue is to be read from: the configured one, else the bundled one;
    /// empty when there is neither.
    static QString ConfiguredFile();
    /// Whether the catalogue names the decoder @p name (letter case aside).
    static bool HasDecoder(const QString& name);
};
