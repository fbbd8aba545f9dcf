#include "shared/source/decodermodulesfileparser.h"
#include "tools/morsehandler/readfindinglog.h"

#include <QBuffer>
#include <QString>
#include <QVector>

namespace LanternIT {

namespace {

constexpr int FIELD_COUNT = 31; // number, second number, kind, 26 flags, charset, name
constexpr int FIRST_FLAG_FIELD = 3;
constexpr int CHARSET_FIELD = 29;
constexpr int NAME_FIELD = 30;

using Flag = bool DecoderModule::*;

/// The mode flags in the order of the file's fields 3 to 28.
const Flag FLAGS_IN_FILE_ORDER[26] = {
    &DecoderModule::bASK,           &DecoderModule::bFSK2,        &DecoderModule::bFSK4,
    &DecoderModule::bMSK,           &DecoderModule::bPSK2,        &DecoderModule::bPSK4,
    &DecoderModule::bPSK8,          &DecoderModule::bMcFSK,       &DecoderModule::bMcPSK2,
    &DecoderModule::bMcPSK4,        &DecoderModule::bMTONE,       &DecoderModule::bMORSE,
    &DecoderModule::bFAX,           &DecoderModule::bSSTV,        &DecoderModule::bPACKET_RADIO,
    &DecoderModule::bHELLSCHREIBER, &DecoderModule::bPACTOR,      &DecoderModule::bCLOVER,
    &DecoderModule::bF7W,           &DecoderModule::bPSK31,       &DecoderModule::bOQPSK,
    &DecoderModule::bMIL_STD,       &DecoderModule::bSTANAG,      &DecoderModule::bACARS_HF,
    &DecoderModule::bHC_ARQ,        &DecoderModule::bICAO_SELCAL,
};

/// A field of a line: where it starts and ends. Fields are cut at every run of white space,
/// counted from the start of the line, so a line that begins with white space has an empty
/// field 0.
struct Field
{
    int begin;
    int end;
};

QVector<Field> cutFields(const QString& line)
{
    QVector<Field> fields;
    fields.reserve(FIELD_COUNT + 1);
    int begin = 0;
    const int length = line.size();
    for (int i = 0; i <= length; ++i) {
        if (i < length && !line.at(i).isSpace())
            continue;
        fields.append(Field{begin, i});
        while (i < length && line.at(i).isSpace())
            ++i;
        begin = i;
        if (i == length)
            break;
    }
    return fields;
}

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c.isMark() || c == QLatin1Char('_');
}

bool allOf(const QString& line, const Field& f, bool (*test)(QChar))
{
    if (f.begin == f.end)
        return false;
    for (int i = f.begin; i < f.end; ++i) {
        if (!test(line.at(i)))
            return false;
    }
    return true;
}

bool isDigitChar(QChar c)
{
    return c.isDigit();
}

bool isSingle(const QString& line, const Field& f, bool (*test)(QChar))
{
    return f.end - f.begin == 1 && test(line.at(f.begin));
}

/// The first field at which the line holds a number, a number, one word character, 26 single
/// digits, one word character and a word, separated by white space; -1 when it holds none.
/// Checked on the fields, which gives the same answer as searching the line with that pattern
/// but in linear time whatever the line.
int acceptedAt(const QString& line, const QVector<Field>& fields)
{
    for (int i = 0; i + FIELD_COUNT <= fields.size(); ++i) {
        const Field& first = fields.at(i);
        if (first.begin == first.end || !line.at(first.end - 1).isDigit())
            continue; // the first number may be the digit tail of a longer field
        if (!allOf(line, fields.at(i + 1), isDigitChar) ||
            !isSingle(line, fields.at(i + 2), isWordChar))
            continue;
        bool flagsOk = true;
        for (int f = 0; f < 26 && flagsOk; ++f)
            flagsOk = isSingle(line, fields.at(i + 3 + f), isDigitChar);
        if (!flagsOk || !isSingle(line, fields.at(i + CHARSET_FIELD), isWordChar))
            continue;
        const Field& name = fields.at(i + NAME_FIELD);
        if (name.begin < name.end && isWordChar(line.at(name.begin)))
            return i;
    }
    return -1;
}

char letterOf(const QStringRef& text)
{
    return !text.isEmpty() && text.at(0).unicode() <= 0xFF ? static_cast<char>(text.at(0).unicode())
                                                           : 0;
}

DecoderModule moduleFromLine(const QString& line, const QVector<Field>& fields)
{
    auto field = [&](int index) {
        const Field& f = fields.at(index);
        return line.midRef(f.begin, f.end - f.begin);
    };
    DecoderModule module;
    // The number is a 32-bit long on the host: one that does not fit reads as 0, as a number
    // that does not parse does.
    module.nModuleNumber = field(0).toInt(nullptr, 10);
    module.dSecondNumber = field(1).toDouble();
    module.cKind = letterOf(field(2));
    for (int f = 0; f < 26; ++f) {
        bool ok = false;
        const int value = field(FIRST_FLAG_FIELD + f).toInt(&ok, 10);
        module.*FLAGS_IN_FILE_ORDER[f] = ok && value != 0;
    }
    module.cCharset = letterOf(field(CHARSET_FIELD));
    module.strName = line.mid(fields.at(NAME_FIELD).begin).trimmed();
    return module;
}

QByteArray numberText(double value)
{
    // The range test comes first: converting a double outside qint64 is undefined.
    if (value > -1e18 && value < 1e18 && value == static_cast<double>(static_cast<qint64>(value)))
        return QByteArray::number(static_cast<qint64>(value));
    return QByteArray::number(value, 'g', 6);
}

/// The record of one raw line, telling @p log what is unusual about it.
bool parseLine(const QByteArray& rawLine, int lineNumber, DecoderModule& module,
               morse::ReadFindingLog& log)
{
    const int zero = rawLine.indexOf('\0');
    const QString line = QString::fromUtf8(rawLine.constData(), zero >= 0 ? zero : rawLine.size());
    log.AddUndecodable(lineNumber, line);
    const QVector<Field> fields = cutFields(line);
    const int first = acceptedAt(line, fields);
    if (first < 0) {
        const QString content = line.trimmed();
        if (!content.isEmpty() && !content.startsWith(QLatin1Char('#'))) // blanks and comments
            log.Add(lineNumber, QStringLiteral("not a decoder module record: skipped"));
        return false;
    }
    if (zero >= 0 && zero < rawLine.size() - 1)
        log.Add(lineNumber, QStringLiteral("a zero byte ends the line early"));
    if (first > 0)
        log.Add(lineNumber, QStringLiteral("the record begins at field %1: fields are counted "
                                           "from the start of the line")
                                .arg(first + 1));
    module = moduleFromLine(line, fields);
    bool isNumber = false;
    line.leftRef(fields.at(0).end).toInt(&isNumber, 10);
    if (!isNumber && first == 0)
        log.Add(lineNumber, QStringLiteral("module number \"%1\" is not a 32-bit number: read "
                                           "as 0")
                                .arg(line.left(fields.at(0).end)));
    return true;
}

} // namespace

void DecoderModulesFileParser::Read(QIODevice& device, std::vector<DecoderModule>& modules)
{
    Read(device, modules, nullptr);
}

void DecoderModulesFileParser::Read(QIODevice& device, std::vector<DecoderModule>& modules,
                                    morse::ReadFindings* findings)
{
    morse::ReadFindingLog log("DecoderModulesFileParser", device, findings);
    DecoderModule module;
    int lineNumber = 0;
    while (!device.atEnd()) {
        if (parseLine(device.readLine(), ++lineNumber, module, log))
            modules.push_back(module);
    }
}

bool DecoderModulesFileParser::ParseLine(const QByteArray& rawLine, DecoderModule& module)
{
    QBuffer none;
    morse::ReadFindingLog log("DecoderModulesFileParser", none, nullptr);
    return parseLine(rawLine, 0, module, log);
}

QByteArray DecoderModulesFileParser::FormatLine(const DecoderModule& module)
{
    // One character each, in the encoding the file is read with, so that a Latin-1 letter reads
    // back; a zero letter is a zero byte.
    auto letter = [](char c) { return QString(QChar(static_cast<uchar>(c))).toUtf8(); };
    QByteArray line = QByteArray::number(module.nModuleNumber) + ' ' +
                      numberText(module.dSecondNumber) + ' ' + letter(module.cKind);
    for (Flag flag : FLAGS_IN_FILE_ORDER)
        line += module.*flag ? " 1" : " 0";
    line += ' ' + letter(module.cCharset) + ' ' + module.strName.toLatin1() + '\n';
    return line;
}

} // namespace LanternIT
