#include "modulescatalogue.h"

#include "datapaths.h"
#include "host/cfgcenter.h"
#include "shared/source/decodermoduelscenter.h"

LanternIT::DecoderModulesCenter* ModulesCatalogue::Open(QString* pPath)
{
    QString path;
    if (ICfg* cfg = CfgCenter::CreateCfg(QStringLiteral("AllLanternApplications"), 4, QString()))
        path = cfg->ReadString(QStringLiteral("DecoderModulesFile"), QString(), 0);
    if (path.isEmpty())
        path = DataPaths::DecoderModulesFile();
    LanternIT::DecoderModulesCenter* catalogue = LanternIT::DecoderModulesCenter::Instance(path);
    if (pPath)
        *pPath = catalogue->FilePath();
    return catalogue;
}
