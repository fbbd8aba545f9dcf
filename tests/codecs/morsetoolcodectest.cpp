// morsetool codec, codecs and modules, run as a user runs them.

#include "qtprinters.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace {

const QString MORSETOOL = QStringLiteral(MORSE_BINARY_DIR "/apps/morsetool/morsetool");
const QString BUNDLED = QStringLiteral(MORSE_BUNDLED_DATA_DIR);

struct ToolRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun morsetool(const QStringList& arguments, const QByteArray& input,
                  const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(MORSETOOL, arguments);
    ToolRun run;
    if (!process.waitForStarted())
        return run;
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

/// morsetool finds its bundled data by the alphabets folder beside the codecs.
bool bundledDataIsComplete()
{
    return QFileInfo(BUNDLED + QStringLiteral("/alphabets")).isDir();
}

class MorsetoolConfigured : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        const QString ini = m_dir.filePath(QStringLiteral("AllLanternApplications.ini"));
        QFile file(ini);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[General]\nDecoderModulesFile=" + BUNDLED.toUtf8() + "/decodermodules.txt\n");
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("CFGCENTER_FILE"), ini);
    }

    QStringList codecArguments(const QStringList& more) const
    {
        return QStringList{QStringLiteral("codec"), QStringLiteral("--codecs"),
                           BUNDLED + QStringLiteral("/codecs")} +
               more;
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
};

} // namespace

TEST(Morsetool, CodecShowsCyrillicForTheLatinLettersOfAnItaDecoder)
{
    if (!bundledDataIsComplete())
        GTEST_SKIP() << "the bundled data has no alphabets folder yet";
    const ToolRun run =
        morsetool({QStringLiteral("codec"), QStringLiteral("--decoder"), QStringLiteral("RTTY 50"),
                   QStringLiteral("--codec"), QStringLiteral("MTK-2 Cyrillic")},
                  "ABC");
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(QString::fromUtf8(run.out), QStringLiteral("АБЦ"));
}

TEST(Morsetool, ModulesListsTheFsk2ModulesOfTheBundledCatalogue)
{
    if (!bundledDataIsComplete())
        GTEST_SKIP() << "the bundled data has no alphabets folder yet";
    const ToolRun run =
        morsetool({QStringLiteral("modules"), QStringLiteral("--mode"), QStringLiteral("FSK"),
                   QStringLiteral("--submode"), QStringLiteral("FSK2")},
                  QByteArray());
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    const QStringList names = QString::fromUtf8(run.out).split(QLatin1Char('\n'));
    EXPECT_TRUE(names.contains(QStringLiteral("RTTY 50")));
    EXPECT_TRUE(names.contains(QStringLiteral("ASCII 8N1")));
    EXPECT_FALSE(names.contains(QStringLiteral("PSK31")));
}

TEST_F(MorsetoolConfigured, CodecTranslatesBytesBothWays)
{
    const ToolRun forward =
        morsetool(codecArguments({QStringLiteral("--decoder"), QStringLiteral("ASCII 8N1"),
                                  QStringLiteral("--codec"), QStringLiteral("KOI8-R")}),
                  "\xF2\xC1\xC4\xC9\xCF 1\n", m_env);
    EXPECT_EQ(forward.exitCode, 0) << forward.err.constData();
    EXPECT_EQ(QString::fromUtf8(forward.out), QStringLiteral("Радио 1\n"));

    const ToolRun back =
        morsetool(codecArguments({QStringLiteral("--codec"), QStringLiteral("KOI8-R - ASCII"),
                                  QStringLiteral("--back")}),
                  forward.out, m_env);
    EXPECT_EQ(back.exitCode, 0) << back.err.constData();
    EXPECT_EQ(back.out, QByteArray("\xF2\xC1\xC4\xC9\xCF 1\n"));
}

TEST_F(MorsetoolConfigured, CodecKeepsNulBytesOfRawCodes)
{
    const ToolRun run =
        morsetool(codecArguments({QStringLiteral("--codec"), QStringLiteral("Raw Letters - ITA2")}),
                  QByteArray("\x03\x00\x19", 3), m_env);
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(QString::fromUtf8(run.out), QStringLiteral("A\u2400B"));

    const ToolRun back =
        morsetool(codecArguments({QStringLiteral("--codec"), QStringLiteral("Raw Letters - ITA2"),
                                  QStringLiteral("--back")}),
                  QByteArray("A\0B", 3), m_env);
    EXPECT_EQ(back.out, QByteArray("\x03\x00\x19", 3));
}

TEST_F(MorsetoolConfigured, CodecRefusesWhatItCannotTranslate)
{
    const ToolRun unknown =
        morsetool(codecArguments({QStringLiteral("--decoder"), QStringLiteral("CW Morse"),
                                  QStringLiteral("--codec"), QStringLiteral("KOI8-R")}),
                  "x", m_env);
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.out.isEmpty());

    const ToolRun unmappable =
        morsetool(codecArguments({QStringLiteral("--codec"), QStringLiteral("KOI8-R - ASCII"),
                                  QStringLiteral("--back")}),
                  QStringLiteral("Ωмега").toUtf8(), m_env);
    EXPECT_EQ(unmappable.exitCode, 1);
    EXPECT_TRUE(unmappable.out.isEmpty()) << "nothing half-written";

    const ToolRun invalid =
        morsetool(codecArguments({QStringLiteral("--codec"), QStringLiteral("KOI8-R - ASCII"),
                                  QStringLiteral("--back")}),
                  "\xFF\xFE", m_env);
    EXPECT_EQ(invalid.exitCode, 2);
}

TEST_F(MorsetoolConfigured, CodecsListsWhatFitsTheDecoder)
{
    const ToolRun run = morsetool({QStringLiteral("codecs"), QStringLiteral("--codecs"),
                                   BUNDLED + QStringLiteral("/codecs"), QStringLiteral("--decoder"),
                                   QStringLiteral("RTTY 50")},
                                  QByteArray(), m_env);
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    const QStringList names =
        QString::fromUtf8(run.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(names.isEmpty());
    EXPECT_EQ(names.first(), QStringLiteral("None"));
    EXPECT_TRUE(names.contains(QStringLiteral("MTK-2 Cyrillic - ITA2")));
    EXPECT_FALSE(names.contains(QStringLiteral("KOI8-R - ASCII")));
}
