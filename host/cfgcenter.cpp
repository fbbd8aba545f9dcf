#include "host/cfgcenter.h"
#include "host/ivtclient.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QMutex>
#include <QSettings>
#include <QStandardPaths>

#include <memory>

ICfg::~ICfg() = default;
IVtClient::~IVtClient() = default;

namespace {

/// Reads one INI file; the file is read afresh on each query so that edits take effect.
class IniCfg : public ICfg
{
public:
    explicit IniCfg(QString scope) : m_strScope(std::move(scope)) {}

    QString ReadString(const QString& key, const QString& def, int /*flag*/) override
    {
        const QString path = CfgCenter::FileForScope(m_strScope);
        if (path.isEmpty() || !QFileInfo::exists(path))
            return def;
        QSettings settings(path, QSettings::IniFormat);
        return settings.value(key, def).toString();
    }

private:
    QString m_strScope;
};

} // namespace

ICfg* CfgCenter::CreateCfg(const QString& scope, int /*view*/, const QString& /*extra*/)
{
    static QMutex mutex;
    static QMap<QString, std::shared_ptr<ICfg>> configurations;
    QMutexLocker lock(&mutex);
    auto& cfg = configurations[scope];
    if (!cfg)
        cfg = std::make_shared<IniCfg>(scope);
    return cfg.get();
}

QString CfgCenter::FileForScope(const QString& scope)
{
    const QString fromEnvironment = qEnvironmentVariable("CFGCENTER_FILE");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QString location =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return location.isEmpty() ? QString() : QDir(location).filePath(scope + QStringLiteral(".ini"));
}
