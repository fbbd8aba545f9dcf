#include "shared/source/decodermoduelscenter.h"

#include "host/errorhandler.h"
#include "qtprinters.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegExp>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

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
    QString writeFile(const QByteArray& text)
    {
        const QString path = m_dir.filePath(QStringLiteral("modules%1.txt").arg(++m_nFiles));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return path;
    }

    QTemporaryDir m_dir;
    int m_nFiles = 0;
};

QStringList names(const std::vector<DecoderModule>& modules)
{
    QStringList list;
    for (const DecoderModule& module : modules)
        list << module.strName;
    return list;
}

} // namespace

TEST_F(CatalogueTest, AcceptedLinesBecomeRecordsSortedByNameIgnoringCase)
{
    DecoderModulesCenter catalogue(writeFile(FILE_TEXT));
    std::vector<DecoderModule> modules;
    catalogue.Modules(modules, false);
    EXPECT_EQ(names(modules), QStringList({QStringLiteral("ASCII 8N1"), QStringLiteral("I Shifted"),
                                           QStringLiteral("Morse"), QStringLiteral("PSK31 text"),
                                           QStringLiteral("rtty baudot")}));
    const DecoderModule& rtty = modules[4];
    EXPECT_EQ(rtty.nModuleNumber, 12);
    EXPECT_DOUBLE_EQ(rtty.dSecondNumber, 100.0);
    EXPECT_EQ(rtty.cKind, 'D');
    EXPECT_TRUE(rtty.bFSK2);
    EXPECT_FALSE(rtty.bASK);
    EXPECT_EQ(rtty.cCharset, 'I');
    EXPECT_TRUE(modules[3].bPSK31) << "file field 22 sets the PSK31 flag";
}

TEST_F(CatalogueTest, LineStartingWithABlankHasItsFieldsShifted)
{
    DecoderModulesCenter catalogue(writeFile(FILE_TEXT));
    std::vector<DecoderModule> modules;
    catalogue.Modules(modules, false);
    const DecoderModule& shifted = modules[1];
    EXPECT_EQ(shifted.nModuleNumber, 0);
    EXPECT_DOUBLE_EQ(shifted.dSecondNumber, 5.0);
    EXPECT_EQ(shifted.cKind, '1');
    EXPECT_EQ(shifted.cCharset, '1') << "the last flag field moves into the charset letter";
    EXPECT_EQ(shifted.strName, QStringLiteral("I Shifted"));
}

TEST_F(CatalogueTest, FamilyAndSingleModeTablesSelectByFlag)
{
    DecoderModulesCenter catalogue(writeFile(FILE_TEXT));
    QString out;
    catalogue.NamesForMode(QStringLiteral("FSK"), QStringLiteral("FSK2"), out, false);
    EXPECT_EQ(out, QStringLiteral("ASCII 8N1;rtty baudot"));

    out = QStringLiteral("prefix");
    catalogue.NamesForMode(QStringLiteral("PSK31"), QStringLiteral("anything"), out, false);
    EXPECT_EQ(out, QStringLiteral("prefix;PSK31 text"));

    out.clear();
    catalogue.NamesForMode(QStringLiteral("MORSE"), out, false);
    EXPECT_EQ(out, QStringLiteral("Morse"));
    out.clear();
    catalogue.NamesForMode(QStringLiteral("FSK"), out, false);
    EXPECT_EQ(out, QString()) << "families select nothing in the single-mode table";

    std::vector<double> values;
    catalogue.ValuesForMode(QStringLiteral("FSK"), QStringLiteral("FSK4"), values, false);
    EXPECT_EQ(values, std::vector<double>({300.0}));
}

TEST(CatalogueCharset, ModeFamiliesHaveTheirCharsetWord)
{
    DecoderModulesCenter catalogue(QStringLiteral("/nonexistent/modules.txt"));
    QString out;
    catalogue.CharsetForMode(QStringLiteral("McPSK"), out);
    EXPECT_EQ(out, QStringLiteral("ASCII"));
    catalogue.CharsetForMode(QStringLiteral("PSK31"), out);
    EXPECT_EQ(out, QStringLiteral("PSK31_BPSK"));
    catalogue.CharsetForMode(QStringLiteral("MORSE"), out);
    EXPECT_EQ(out, QStringLiteral("NONE"));
}

TEST_F(CatalogueTest, FailedReloadKeepsRecordsAndTracesWhenTracingIsOn)
{
    DecoderModulesCenter catalogue(writeFile(FILE_TEXT));
    QStringList traces;
    ErrorHandler::Instance()->SetTraceFlags(0x20);
    ErrorHandler::Instance()->SetTraceSink(
        [&](const QString& message, const QString& file, int line) {
            traces << QStringLiteral("%1|%2|%3").arg(message, file).arg(line);
        });
    catalogue.SetFilePath(QStringLiteral("/nonexistent/modules.txt"));
    EXPECT_FALSE(catalogue.Load());
    ErrorHandler::Instance()->SetTraceSink(nullptr);
    ErrorHandler::Instance()->SetTraceFlags(0);

    std::vector<QString> moduleNames;
    catalogue.ModuleNames(moduleNames, false);
    EXPECT_EQ(moduleNames.size(), 5u);
    ASSERT_EQ(traces.size(), 1);
    EXPECT_EQ(traces[0],
              QStringLiteral("Decoder modules file can not be opened: /nonexistent/modules.txt|"
                             "shared\\source\\decodermoduelscenter|532"));
}

TEST_F(CatalogueTest, SavedFileReadsBackTheSame)
{
    DecoderModulesCenter catalogue(writeFile(FILE_TEXT));
    std::vector<DecoderModule> before;
    catalogue.Modules(before, false);
    const QString saved = m_dir.filePath(QStringLiteral("saved.txt"));
    ASSERT_TRUE(catalogue.Save(saved));

    DecoderModulesCenter reread(saved);
    std::vector<DecoderModule> after;
    reread.Modules(after, false);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i].strName, before[i].strName);
        EXPECT_EQ(after[i].nModuleNumber, before[i].nModuleNumber);
        EXPECT_DOUBLE_EQ(after[i].dSecondNumber, before[i].dSecondNumber);
        EXPECT_EQ(after[i].bPSK31, before[i].bPSK31);
        EXPECT_EQ(after[i].bICAO_SELCAL, before[i].bICAO_SELCAL);
        EXPECT_EQ(after[i].cCharset, before[i].cCharset);
    }
    EXPECT_FALSE(catalogue.Save(m_dir.filePath(QStringLiteral("missing/dir/saved.txt"))));
}

TEST_F(CatalogueTest, LongHostileLinesAreRejectedQuickly)
{
    // A search with a backtracking pattern would take quadratic time on these.
    const QByteArray digits(2'000'000, '7');
    const QByteArray spaced = QByteArray("12 ").repeated(500'000);
    DecoderModulesCenter catalogue(
        writeFile(digits + '\n' + spaced + '\n' + QByteArray(1000, '\0')));
    std::vector<DecoderModule> modules;
    catalogue.Modules(modules, false);
    EXPECT_TRUE(modules.empty());
}

TEST_F(CatalogueTest, ConcurrentInstanceAndReloadingCopiesAreSafe)
{
    const QString path = writeFile(FILE_TEXT);
    std::atomic<int> total{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            DecoderModulesCenter* catalogue = DecoderModulesCenter::Instance(path);
            for (int i = 0; i < 20; ++i) {
                std::vector<DecoderModule> modules;
                catalogue->Modules(modules, true);
                total += static_cast<int>(modules.size());
            }
        });
    }
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
    const QRegExp pattern(QStringLiteral("\\d+\\s+\\d+\\s+\\w") +
                          QStringLiteral("\\s+\\d").repeated(26) +
                          QStringLiteral("\\s+\\w\\s+\\w+"));
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
    DecoderModulesCenter catalogue(writeFile(file));
    std::vector<qint32> ids;
    catalogue.ModuleIds(ids, false);
    EXPECT_GT(expected, 30) << "enough accepted lines to compare";
    EXPECT_EQ(static_cast<int>(ids.size()), expected);
}

TEST_F(CatalogueTest, HugeSecondNumberIsSavedInExponentForm)
{
    const QByteArray huge = "7" + QByteArray(128, '6');
    DecoderModulesCenter catalogue(
        writeFile("1 " + huge + " D 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 I Big\n"));
    const QString saved = m_dir.filePath(QStringLiteral("saved.txt"));
    ASSERT_TRUE(catalogue.Save(saved));
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith("1 7.66667e+128 D "));
}
