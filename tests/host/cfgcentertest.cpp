#include "host/cfgcenter.h"

#include "testfiles.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

TEST(CfgCenter, ReadsKeysFromTheFileNamedByTheEnvironmentOrGivesTheDefault)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lantern.ini"));
    testfiles::writeFile(path, "DecoderModulesFile=/data/decodermodules.txt\n");
    qputenv("CFGCENTER_FILE", path.toUtf8());
    ICfg* cfg = CfgCenter::CreateCfg(QStringLiteral("AllLanternApplications"), 4, QString());
    ASSERT_NE(cfg, nullptr);
    EXPECT_EQ(cfg->ReadString(QStringLiteral("DecoderModulesFile"), QString(), 0),
              QStringLiteral("/data/decodermodules.txt"));
    EXPECT_EQ(cfg->ReadString(QStringLiteral("Missing"), QStringLiteral("fallback"), 0),
              QStringLiteral("fallback"));
    // One object per scope, kept by the centre.
    EXPECT_EQ(CfgCenter::CreateCfg(QStringLiteral("AllLanternApplications"), 4, QString()), cfg);

    qputenv("CFGCENTER_FILE", "/nonexistent/lantern.ini");
    cfg = CfgCenter::CreateCfg(QStringLiteral("Other"), 4, QString());
    EXPECT_EQ(cfg->ReadString(QStringLiteral("DecoderModulesFile"), QString(), 0), QString());
    qunsetenv("CFGCENTER_FILE");
}
