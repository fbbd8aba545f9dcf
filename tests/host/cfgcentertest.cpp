#include "host/cfgcenter.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

TEST(CfgCenter, ReadsKeysFromTheFileNamedByTheEnvironment)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lantern.ini"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("DecoderModulesFile=/data/decodermodules.txt\n");
    file.close();
    qputenv("CFGCENTER_FILE", path.toUtf8());

    ICfg* cfg = CfgCenter::CreateCfg(QStringLiteral("AllLanternApplications"), 4, QString());
    ASSERT_NE(cfg, nullptr);
    EXPECT_EQ(cfg->ReadString(QStringLiteral("DecoderModulesFile"), QString(), 0),
              QStringLiteral("/data/decodermodules.txt"));
    EXPECT_EQ(cfg->ReadString(QStringLiteral("Missing"), QStringLiteral("fallback"), 0),
              QStringLiteral("fallback"));
    EXPECT_EQ(CfgCenter::CreateCfg(QStringLiteral("AllLanternApplications"), 4, QString()), cfg)
        << "one object per scope, kept by the centre";
    qunsetenv("CFGCENTER_FILE");
}

TEST(CfgCenter, MissingFileGivesTheDefault)
{
    qputenv("CFGCENTER_FILE", "/nonexistent/lantern.ini");
    ICfg* cfg = CfgCenter::CreateCfg(QStringLiteral("Other"), 4, QString());
    EXPECT_EQ(cfg->ReadString(QStringLiteral("DecoderModulesFile"), QString(), 0), QString());
    qunsetenv("CFGCENTER_FILE");
}
