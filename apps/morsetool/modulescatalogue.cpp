#include "modulescatalogue.h"

#include "datapaths.h"
#include "host/cfgcenter.h"
#include "shared/source/decodermoduelscenter.h"

#include <vector>

QString ModulesCatalogue::ConfiguredFile()
{
    QString path;
    if (ICfg* cfg = CfgCenter::CreateCfg(QStringLiteral("AllLanternApplications"), 4, QString()))
        path = cfg->ReadString(QStringLiteral("DecoderModulesFile"), QString(), 0);
    return path.isEmpty() ? DataPaths::DecoderModulesFile() : path;
}

LanternIT::DecoderModulesCenter* ModulesCatalogue::Open(QString* pPath)
{
    LanternIT::DecoderModulesCenter* catalogue =
        LanternIT::DecoderModulesCenter::Instance(ConfiguredFile());
    if (pPath)
        *pPath = catalogue->FilePath();
    return catalogue;
}

bool ModulesCatalogue::HasDecoder(const QString& name)
{
    std::vector<LanternIT::DecoderModule> modules;
    Open()->Modules(modules, false);
    for (const LanternIT::DecoderModule& module : modules) {
        if (module.strName.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}
