// morsetool codec, codecs and modules, run as a user runs them.

#include "qtprinters.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

const QString BUNDLED = QStringLiteral(MORSE_BUNDLED_DATA_DIR);

struct ToolRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QString text() const { return QString::fromUtf8(out); }
};

ToolRun morsetool(std::initializer_list<const char*> arguments, const QByteArray& input,
                  const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QStringList list;
    for (const char* argument : arguments)
        list << QString::fromUtf8(argument).replace(QStringLiteral("$DATA"), BUNDLED);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(MORSE_BINARY_DIR "/apps/morsetool/morsetool"), list);
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

/// Runs with a configuration that names the bundled decoder modules file.
class MorsetoolConfigured : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString ini = m_dir.filePath(QStringLiteral("AllLanternApplications.ini"));
        QFile file(ini);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[General]\nDecoderModulesFile=" + BUNDLED.toUtf8() + "/decodermodules.txt\n");
        m_env.insert(QStringLiteral("CFGCENTER_FILE"), ini);
    }

    ToolRun run(std::initializer_list<const char*> arguments, const QByteArray& input)
    {
        return morsetool(arguments, input, m_env);
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_env = QProcessEnvironment::systemEnvironment();
};

} // namespace

TEST(Morsetool, CodecShowsCyrillicForTheLatinLettersOfAnItaDecoder)
{
    const ToolRun run =
        morsetool({"codec", "--decoder", "RTTY 50", "--codec", "MTK-2 Cyrillic"}, "ABC");
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(run.text(), QStringLiteral("АБЦ"));
}

TEST(Morsetool, ModulesListsTheFsk2ModulesOfTheBundledCatalogue)
{
    const ToolRun run = morsetool({"modules", "--mode", "FSK", "--submode", "FSK2"}, "");
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    const QStringList names = run.text().split(QLatin1Char('\n'));
    EXPECT_TRUE(names.contains(QStringLiteral("RTTY 50")));
    EXPECT_TRUE(names.contains(QStringLiteral("ASCII 8N1")));
    EXPECT_FALSE(names.contains(QStringLiteral("PSK31")));
}

TEST_F(MorsetoolConfigured, CodecTranslatesBytesBothWaysAndKeepsNulBytes)
{
    const ToolRun forward =
        run({"codec", "--codecs", "$DATA/codecs", "--decoder", "ASCII 8N1", "--codec", "KOI8-R"},
            "\xF2\xC1\xC4\xC9\xCF 1\n");
    EXPECT_EQ(forward.exitCode, 0) << forward.err.constData();
    EXPECT_EQ(forward.text(), QStringLiteral("Радио 1\n"));
    const ToolRun back = run(
        {"codec", "--codecs", "$DATA/codecs", "--codec", "KOI8-R - ASCII", "--back"}, forward.out);
    EXPECT_EQ(back.out, QByteArray("\xF2\xC1\xC4\xC9\xCF 1\n"));

    const QByteArray raw("\x03\x00\x19", 3);
    const ToolRun letters =
        run({"codec", "--codecs", "$DATA/codecs", "--codec", "Raw Letters - ITA2"}, raw);
    EXPECT_EQ(letters.text(), QStringLiteral("A\u2400B"));
    const ToolRun back2 =
        run({"codec", "--codecs", "$DATA/codecs", "--codec", "Raw Letters - ITA2", "--back"},
            QByteArray("A\0B", 3));
    EXPECT_EQ(back2.out, raw) << "code 0 is never written back, but a NUL passes";
}

TEST_F(MorsetoolConfigured, CodecRefusesWhatItCannotTranslate)
{
    const ToolRun unknown = run(
        {"codec", "--codecs", "$DATA/codecs", "--decoder", "CW Morse", "--codec", "KOI8-R"}, "x");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.out.isEmpty());

    const ToolRun unmappable =
        run({"codec", "--codecs", "$DATA/codecs", "--codec", "KOI8-R - ASCII", "--back"},
            QStringLiteral("Ωмега").toUtf8());
    EXPECT_EQ(unmappable.exitCode, 1);
    EXPECT_TRUE(unmappable.out.isEmpty()) << "nothing half-written";

    EXPECT_EQ(run({"codec", "--codecs", "$DATA/codecs", "--codec", "KOI8-R - ASCII", "--back"},
                  "\xFF\xFE")
                  .exitCode,
              2)
        << "not UTF-8";
}

TEST_F(MorsetoolConfigured, CodecsListsWhatFitsTheDecoder)
{
    const ToolRun run_ = run({"codecs", "--codecs", "$DATA/codecs", "--decoder", "RTTY 50"}, "");
    EXPECT_EQ(run_.exitCode, 0) << run_.err.constData();
    const QStringList names = run_.text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(names.isEmpty());
    EXPECT_EQ(names.first(), QStringLiteral("None"));
    EXPECT_TRUE(names.contains(QStringLiteral("MTK-2 Cyrillic - ITA2")));
    EXPECT_FALSE(names.contains(QStringLiteral("KOI8-R - ASCII")));
}
