// morsetool map, run as a user runs it, with the catalogue named by the configuration.

#include "qtprinters.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct ToolRun
{
    int exitCode;
    QString out;
    QString err;
};

class MapCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        useData(MORSE_TEST_DATA_DIR "/mapping/maps",
                MORSE_TEST_DATA_DIR "/mapping/decodermodules.txt");
    }

    /// Names the catalogue in the configuration, as an application's installation does.
    void useData(const char* maps, const char* modules)
    {
        ASSERT_TRUE(m_dir.isValid());
        m_strMaps = QLatin1String(maps);
        m_strConfig = m_dir.filePath(QStringLiteral("lantern.ini"));
        QFile config(m_strConfig);
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(QByteArray("DecoderModulesFile=") + modules + "\n");
    }

    ToolRun run(QStringList arguments, const QByteArray& input = QByteArray())
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CFGCENTER_FILE"), m_strConfig);
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(MORSE_BINARY_DIR "/apps/morsetool/morsetool"),
                      QStringList{QStringLiteral("map"), QStringLiteral("--maps"), m_strMaps} +
                          arguments);
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(30000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QTemporaryDir m_dir;
    QString m_strMaps;
    QString m_strConfig;
};

} // namespace

TEST_F(MapCommand, PrintsEachInputLineThroughTheChosenMap)
{
    const ToolRun r = run({"--decoder", "Baudot RTTY", "--map", "Cyrillic - ITA2", "--history"},
                          "ABC\nABC\n\nCAB\r\n");
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QString::fromUtf8("АБЦ\nАБЦ\n\nЦАБ\nАБЦАБЦЦАБ\n"));
}

TEST_F(MapCommand, ListShowsDefaultThenTheMapsOfTheDecoder)
{
    const ToolRun r = run({"--decoder", "ASCII 8N1", "--list"});
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("Default\nGreek - ASCII\nlatin - ASCII\n"));
}

TEST_F(MapCommand, UnknownDecoderOrMapIsAnInputError)
{
    const ToolRun decoder = run({"--decoder", "Nonesuch"});
    EXPECT_EQ(decoder.exitCode, 2);
    EXPECT_TRUE(decoder.err.contains(QStringLiteral("Baudot RTTY"))) << qPrintable(decoder.err);
    const ToolRun map = run({"--decoder", "Morse", "--map", "Greek - ITA2"}, "A\n");
    EXPECT_EQ(map.exitCode, 2);
    EXPECT_TRUE(map.out.isEmpty());
}

TEST_F(MapCommand, BundledMapsTurnTheLettersOfAnItaDecoderIntoCyrillic)
{
    useData(MORSE_BUNDLED_DATA_DIR "/codecs", MORSE_BUNDLED_DATA_DIR "/decodermodules.txt");
    const ToolRun r = run({"--decoder", "RTTY 50", "--map", "MTK-2 Cyrillic - ITA2"}, "ABC\n");
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QString::fromUtf8("АБЦ\n"));

    const QStringList list =
        run({"--decoder", "RTTY 50", "--list"}).out.split('\n', Qt::SkipEmptyParts);
    ASSERT_GT(list.size(), 1);
    EXPECT_EQ(list.first(), QStringLiteral("Default"));
    for (const QString& name : list.mid(1))
        EXPECT_TRUE(name.endsWith(QStringLiteral(" - ITA2"))) << qPrintable(name);
}
