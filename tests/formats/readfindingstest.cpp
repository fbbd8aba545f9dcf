// The readers of data files tell which lines they skipped or took in an unusual way, while the
// table they read stays exactly what it is without findings.

#include "shared/source/decodermodulesfileparser.h"
#include "tools/morsehandler/alphabetfilereader.h"
#include "tools/morsehandler/codecfilereader.h"
#include "tools/morsehandler/mapfilereader.h"

#include "qtprinters.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>

#include <string>
#include <vector>

namespace {

enum class Format
{
    Alphabet,
    Codec,
    Map,
    Modules,
};

struct FindingCase
{
    const char* name;
    Format format;
    QByteArray content;
    /// "LINE: part of the reason" for each finding, in order; empty for a clean file.
    std::vector<std::string> expected;
};

/// A module record with @p prefix before it.
QByteArray moduleLine(const QByteArray& prefix)
{
    return prefix + "7 1 M 0 0 0 0 0 0 0 0 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 A Morse\n";
}

const FindingCase CASES[] = {
    {"CleanAlphabet", Format::Alphabet, "@TextDirection RL\nA\t.-\nB\t-...\n", {}},
    {"AlphabetLineWithoutTab", Format::Alphabet, "A\t.-\nB -...\n", {"2: no TAB"}},
    {"AlphabetDuplicateWithANote", Format::Alphabet, "A\t.-\nA\t.-.\tnote\n", {"2: \"A\" again"}},
    {"AlphabetUnknownDirectiveAndLateDirective",
     Format::Alphabet,
     "@TextDirection RL\n@Font Arial\nA\t.-\n@TextDirection RL\n",
     {"2: unknown directive \"Font\"", "4: no TAB", "4: a directive after the first entry"}},
    {"AlphabetInvalidUtf8AndNoText",
     Format::Alphabet,
     "A\t.-\n\xC3\x28\t-...\n\t...\n",
     {"2: holds bytes that are not valid UTF-8", "3: no text before the TAB"}},
    {"CleanCodec", Format::Codec, "Hebrew\nRL\nA note line\n\nA;0x05D0\nB;\n", {}},
    {"CodecRubbishAndZero",
     Format::Codec,
     "x\nLR\nAB;0x41\nA;0x0000\nB;41\nC;0x10041\n",
     {"3: not of the form", "4: value 0 maps nothing", "5: value \"41\" is not 0xHHHH",
      "6: value 0x10041 keeps only its low 16 bits"}},
    {"CodecDirectionAndDuplicate",
     Format::Codec,
     "x\nleft\nA;0x41\nA;0x42\n",
     {"2: direction line \"left\"", "4: code 0x41 again"}},
    {"CleanMap", Format::Map, "@TextDirection LR\n# comment\n0x41\t0x0410\tnote\nB\tb\n", {}},
    {"MapWrittenWithBlanks",
     Format::Map,
     "0x41 0x0410\n",
     {"1: no TAB", "1: key \"0x41 0x0410\" is not a number", "1: no value"}},
    {"MapKeyAndValueOutOfRange",
     Format::Map,
     "0x141\t0x12345\n0x41\tabc\n",
     {"1: key 0x141 is beyond 0xFF", "1: value 0x12345 keeps only its low 16 bits",
      "2: value \"abc\"", "2: key 0x41 again"}},
    {"MapEmptyLineMapsZero",
     Format::Map,
     "0x41\t0x0410\n\n",
     {"2: no TAB", "2: no key", "2: no value"}},
    {"CleanModules", Format::Modules, "# comment\n" + moduleLine("") + "\n", {}},
    {"ModulesRubbishAndShiftedRecord",
     Format::Modules,
     "rubbish\n" + moduleLine("name "),
     {"1: not a decoder module record", "2: the record begins at field 2"}},
    {"ModulesZeroByteAndHugeNumber",
     Format::Modules,
     moduleLine("99999999999").replace("Morse\n", QByteArray("Morse\0tail\n", 11)),
     {"1: a zero byte ends the line", "1: module number \"999999999997\""}},
};

/// What the reader of @p format makes of @p content, as text; with @p findings, through the
/// reader that also reports them.
QString readWith(Format format, const QByteArray& content, morse::ReadFindings* findings = nullptr)
{
    QBuffer device;
    device.setData(content);
    device.open(QIODevice::ReadOnly);
    QMap<char, ushort> table;
    QMap<QString, QString> map;
    std::vector<LanternIT::DecoderModule> modules;
    bool rightToLeft = false;
    using LanternIT::DecoderModulesFileParser;
    using morse::AlphabetFileReader, morse::CodecFileReader, morse::MapFileReader;
    switch (format) {
    case Format::Alphabet:
        findings ? AlphabetFileReader::Read(device, map, rightToLeft, findings)
                 : AlphabetFileReader::Read(device, map, rightToLeft);
        break;
    case Format::Codec:
        findings ? CodecFileReader::Read(device, table, rightToLeft, findings)
                 : CodecFileReader::Read(device, table, rightToLeft);
        break;
    case Format::Map:
        findings ? MapFileReader::Read(device, table, rightToLeft, findings)
                 : MapFileReader::Read(device, table, rightToLeft);
        break;
    case Format::Modules:
        findings ? DecoderModulesFileParser::Read(device, modules, findings)
                 : DecoderModulesFileParser::Read(device, modules);
        break;
    }
    QString text;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        text += it.key() + '=' + it.value() + ';';
    for (const LanternIT::DecoderModule& module : modules)
        text += QString::number(module.nModuleNumber) + module.strName + ';';
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        text += QString::number(uchar(it.key())) + '=' + QString::number(it.value()) + ';';
    return text + (rightToLeft ? "rtl" : "ltr");
}

class ReadFindings : public ::testing::TestWithParam<FindingCase>
{
};

} // namespace

TEST_P(ReadFindings, NameEachUnusualLineAndLeaveTheReadingUnchanged)
{
    const FindingCase& c = GetParam();
    morse::ReadFindings findings;
    EXPECT_EQ(readWith(c.format, c.content, &findings), readWith(c.format, c.content));
    std::vector<std::string> actual;
    for (const morse::ReadFinding& finding : findings)
        actual.push_back(
            QStringLiteral("%1: %2").arg(finding.line).arg(finding.reason).toStdString());
    ASSERT_EQ(actual.size(), c.expected.size()) << ::testing::PrintToString(actual);
    for (size_t i = 0; i < actual.size(); ++i)
        EXPECT_EQ(actual[i].rfind(c.expected[i], 0), 0u) << actual[i] << " vs " << c.expected[i];
}
INSTANTIATE_TEST_SUITE_P(Readers, ReadFindings, ::testing::ValuesIn(CASES),
                         [](const ::testing::TestParamInfo<FindingCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(ReadFindingsOfBundledFiles, EveryBundledDataFileReadsWithoutFindings)
{
    const QDir data(QStringLiteral(MORSE_BUNDLED_DATA_DIR));
    int checked = 0;
    for (const QString& sub : {QStringLiteral("alphabets"), QStringLiteral("codecs")}) {
        const QDir dir(data.filePath(sub));
        for (const QString& name : dir.entryList(QDir::Files)) {
            QFile file(dir.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const Format format = name.endsWith(".mal")     ? Format::Alphabet
                                  : name.endsWith(".codec") ? Format::Codec
                                                            : Format::Map;
            morse::ReadFindings findings;
            readWith(format, file.readAll(), &findings);
            for (const morse::ReadFinding& finding : findings)
                ADD_FAILURE() << qPrintable(name) << ':' << finding.line << ": "
                              << qPrintable(finding.reason);
            ++checked;
        }
    }
    QFile modules(data.filePath(QStringLiteral("decodermodules.txt")));
    ASSERT_TRUE(modules.open(QIODevice::ReadOnly));
    morse::ReadFindings findings;
    readWith(Format::Modules, modules.readAll(), &findings);
    EXPECT_TRUE(findings.isEmpty()) << qPrintable(findings.value(0).reason);
    EXPECT_GT(checked, 10);
}
