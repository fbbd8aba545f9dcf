#include "shared/source/decodermoduelscenter.h"

#include "qtprinters.h"
#include "testfiles.h"
#include "tracecapture.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegExp>
#include <QTemporaryDir>

#include <atomic>
#include <thread>
#include <tuple>

using LanternIT::DecoderModule;
using LanternIT::DecoderModulesCenter;

namespace {

// Fields: number, second number, kind, 26 flags in file order, charset letter, name.
// File flag order: ASK FSK2 FSK4 MSK PSK2 PSK4 PSK8 McFSK McPSK2 McPSK4 MTONE MORSE FAX SSTV
// PACKET HELL PACTOR CLOVER F7W PSK31 OQPSK MIL-STD STANAG ACARS HC-ARQ SELCAL.
const char* const FILE_TEXT =
    "# number value kind flags... charset name\n"
    "12 100 D 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 I rtty baudot\r\n"
    "7 300 D 0 1 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 A ASCII 8N1\n"
    "3 50 D 0 0 0 0 0 0 0 0 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 X Morse\n"
    "9 31 D 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1 0 0 0 0 0 0 B PSK31 text\n"
    "not a module line\n"
    " 5 1 D 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1 I Shifted\n";

class CatalogueTest : public ::testing::Test
{
protected:
    QString writeModules(const QByteArray& text)
    {
        const QString path = m_dir.filePath(QStringLiteral("modules.txt"));
        testfiles::writeFile(path, text);
        return path;
    }
    static std::vector<DecoderModule> modulesOf(DecoderModulesCenter& catalogue)
    {
        std::vector<DecoderModule> modules;
        catalogue.Modules(modules, false);
        return modules;
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(CatalogueTest, AcceptedLinesBecomeRecordsSortedByNameIgnoringCase)
{
    DecoderModulesCenter catalogue(writeModules(FILE_TEXT));
    const std::vector<DecoderModule> modules = modulesOf(catalogue);
    QStringList names;
    for (const DecoderModule& module : modules)
        names << module.strName;
    EXPECT_EQ(names, QStringList({"ASCII 8N1", "I Shifted", "Morse", "PSK31 text", "rtty baudot"}));
    const DecoderModule& rtty = modules[4];
    EXPECT_EQ(std::make_tuple(rtty.nModuleNumber, rtty.dSecondNumber, rtty.cKind, rtty.cCharset),
              std::make_tuple(12, 100.0, 'D', 'I'));
    EXPECT_TRUE(rtty.bFSK2);
    EXPECT_FALSE(rtty.bASK);
    EXPECT_TRUE(modules[3].bPSK31) << "file field 22 sets the PSK31 flag";

    // A line starting with a blank has its fields shifted: the last flag becomes the charset.
    const DecoderModule& shifted = modules[1];
    EXPECT_EQ(std::make_tuple(shifted.nModuleNumber, shifted.dSecondNumber, shifted.cKind,
                              shifted.cCharset),
              std::make_tuple(0, 5.0, '1', '1'));
}

TEST_F(CatalogueTest, FamilyAndSingleModeTablesSelectByFlag)
{
    DecoderModulesCenter catalogue(writeModules(FILE_TEXT));
    const auto family = [&](const char* mode, const char* submode, QString out) {
        catalogue.NamesForMode(QLatin1String(mode), QLatin1String(submode), out, false);
        return out;
    };
    const auto single = [&](const char* mode) {
        QString out;
        catalogue.NamesForMode(QLatin1String(mode), out, false);
        return out;
    };
    EXPECT_EQ(family("FSK", "FSK2", QString()), QStringLiteral("ASCII 8N1;rtty baudot"));
    EXPECT_EQ(family("PSK31", "anything", "prefix"), QStringLiteral("prefix;PSK31 text"));
    EXPECT_EQ(single("MORSE"), QStringLiteral("Morse"));
    EXPECT_EQ(single("FSK"), QString()) << "families select nothing in the single-mode table";
    EXPECT_EQ(single("FSK2"), QString()) << "a family member is asked for with its family";

    std::vector<double> values;
    catalogue.ValuesForMode(QStringLiteral("FSK"), QStringLiteral("FSK4"), values, false);
    EXPECT_EQ(values, std::vector<double>({300.0}));
}

TEST(CatalogueCharset, ModeFamiliesHaveTheirCharsetWord)
{
    DecoderModulesCenter catalogue(QStringLiteral("/nonexistent/modules.txt"));
    for (const auto& [mode, word] :
         {std::pair{"McPSK", "ASCII"}, {"PSK31", "PSK31_BPSK"}, {"MORSE", "NONE"}}) {
        QString out;
        catalogue.CharsetForMode(QLatin1String(mode), out);
        EXPECT_EQ(out, QLatin1String(word)) << mode;
    }
}

TEST_F(CatalogueTest, FailedReloadKeepsRecordsAndTracesWhenTracingIsOn)
{
    DecoderModulesCenter catalogue(writeModules(FILE_TEXT));
    TraceCapture trace;
    catalogue.SetFilePath(QStringLiteral("/nonexistent/modules.txt"));
    EXPECT_FALSE(catalogue.Load());
    EXPECT_EQ(modulesOf(catalogue).size(), 5u);
    EXPECT_EQ(trace.located, QStringList(QStringLiteral(
                                 "Decoder modules file can not be opened: /nonexistent/modules.txt|"
                                 "shared\\source\\decodermoduelscenter|532")));
}

TEST_F(CatalogueTest, SavedFileReadsBackTheSame)
{
    DecoderModulesCenter catalogue(writeModules(FILE_TEXT));
    const std::vector<DecoderModule> before = modulesOf(catalogue);
    const QString saved = m_dir.filePath(QStringLiteral("saved.txt"));
    ASSERT_TRUE(catalogue.Save(saved));
    DecoderModulesCenter reread(saved);
    const std::vector<DecoderModule> after = modulesOf(reread);
    ASSERT_EQ(after.size(), before.size());
    const auto fields = [](const DecoderModule& m) {
        return std::make_tuple(m.strName, m.nModuleNumber, m.dSecondNumber, m.bPSK31,
                               m.bICAO_SELCAL, m.cCharset);
    };
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(fields(after[i]), fields(before[i])) << i;
    EXPECT_FALSE(catalogue.Save(m_dir.filePath(QStringLiteral("missing/dir/saved.txt"))));
}

TEST_F(CatalogueTest, ModuleNumbersBeyondThirtyTwoBitsReadAsZero)
{
    const QByteArray rest = " 1 D 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 I ";
    DecoderModulesCenter catalogue(writeModules("2147483647" + rest + "a\n" + "2147483648" + rest +
                                                "b\n" + "4294967297" + rest + "c\n" +
                                                QByteArray(30, '9') + rest + "d\n"));
    std::vector<qint32> ids;
    catalogue.ModuleIds(ids, false);
    EXPECT_EQ(ids, std::vector<qint32>({2147483647, 0, 0, 0}));
}

TEST_F(CatalogueTest, SavedLettersAreSingleCharactersAndLatinOnesReadBack)
{
    DecoderModule accented;
    accented.strName = QStringLiteral("Accented");
    accented.cKind = static_cast<char>(0xE9);
    accented.cCharset = 'A';
    DecoderModule zero;
    zero.strName = QStringLiteral("Zero");
    zero.cCharset = 'I';
    DecoderModulesCenter catalogue(QStringLiteral("/nonexistent/modules.txt"));
    catalogue.SetModules({accented, zero});
    QFile saved(m_dir.filePath(QStringLiteral("saved.txt")));
    ASSERT_TRUE(catalogue.Save(saved.fileName()) && saved.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = saved.readAll().split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith("0 0 \xC3\xA9 0 ")) << lines[0].toHex().constData();
    EXPECT_TRUE(lines[1].startsWith(QByteArray("0 0 \0 0 ", 8))) << lines[1].toHex().constData();

    DecoderModulesCenter reread(saved.fileName());
    const std::vector<DecoderModule> modules = modulesOf(reread);
    ASSERT_FALSE(modules.empty());
    EXPECT_EQ(modules[0].strName, QStringLiteral("Accented"));
    EXPECT_EQ(static_cast<unsigned char>(modules[0].cKind), 0xE9);
}

TEST_F(CatalogueTest, LongHostileLinesAreRejectedQuickly)
{
    // A search with a backtracking pattern would take quadratic time on these.
    const QByteArray digits(2'000'000, '7');
    const QByteArray spaced = QByteArray("12 ").repeated(500'000);
    DecoderModulesCenter catalogue(
        writeModules(digits + '\n' + spaced + '\n' + QByteArray(1000, '\0')));
    EXPECT_TRUE(modulesOf(catalogue).empty());
}

TEST_F(CatalogueTest, ConcurrentInstanceAndReloadingCopiesAreSafe)
{
    const QString path = writeModules(FILE_TEXT);
    std::atomic<int> total{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20; ++i) {
                std::vector<DecoderModule> modules;
                DecoderModulesCenter::Instance(path)->Modules(modules, true);
                total += static_cast<int>(modules.size());
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(total.load(), 4 * 20 * 5);
    EXPECT_EQ(DecoderModulesCenter::Instance(QStringLiteral("/other/path"))->FilePath(), path)
        << "later calls keep the first path";
}

TEST_F(CatalogueTest, LineAcceptanceAgreesWithTheModulePattern)
{
    // Random near-valid lines: the catalogue must accept exactly those in which the pattern
    // "number number letter 26-digits letter word" is found somewhere.
    const QRegExp pattern("\\d+\\s+\\d+\\s+\\w" + QString("\\s+\\d").repeated(26) +
                          "\\s+\\w\\s+\\w+");
    const char* const tokens[] = {"1", "0", "12", "D", "x", "-", "a1", "1a", "_", "+"};
    std::srand(7);
    QByteArray file;
    int expected = 0;
    for (int n = 0; n < 3000; ++n) {
        QString line = std::rand() % 4 == 0 ? QStringLiteral(" ") : QString();
        const int count = 29 + std::rand() % 6;
        for (int t = 0; t < count; ++t) {
            const int pick = std::rand() % 100 < 85 ? (t == 2 ? 3 : 0) : std::rand() % 10;
            line += QLatin1String(tokens[pick]) + QLatin1String(std::rand() % 9 ? " " : "\t ");
        }
        line += QStringLiteral("Name");
        expected += pattern.indexIn(line) >= 0;
        file += line.toUtf8() + '\n';
    }
    DecoderModulesCenter catalogue(writeModules(file));
    std::vector<qint32> ids;
    catalogue.ModuleIds(ids, false);
    EXPECT_GT(expected, 30) << "enough accepted lines to compare";
    EXPECT_EQ(static_cast<int>(ids.size()), expected);
}

TEST_F(CatalogueTest, HugeSecondNumberIsSavedInExponentForm)
{
    const QByteArray rest = " D 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 I Big\n";
    DecoderModulesCenter catalogue(writeModules("1 7" + QByteArray(128, '6') + rest));
    QFile saved(m_dir.filePath(QStringLiteral("saved.txt")));
    ASSERT_TRUE(catalogue.Save(saved.fileName()) && saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().startsWith("1 7.66667e+128 D "));
}
