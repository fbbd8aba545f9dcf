#include "shared/source/decodermoduelscenter.h"

#include "host/cfgcenter.h"
#include "tools/morsehandler/trace.h"

#include <QFile>
#include <QVector>

#include <algorithm>
#include <memory>
#include <mutex>

namespace LanternIT {

namespace {

// One process-wide, non-recursive lock over every catalogue operation. An operation never calls
// another locking operation while it holds it. A standard mutex, which thread checkers see.
std::mutex g_mutex;

const QString SOURCE_FILE = QStringLiteral("shared\\source\\decodermoduelscenter");
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

struct FamilyRow
{
    const char* mode;
    const char* subMode; // null: any sub-mode
    Flag flag;
};

const FamilyRow FAMILY_TABLE[] = {
    {"FSK", "FSK2", &DecoderModule::bFSK2},       {"FSK", "FSK4", &DecoderModule::bFSK4},
    {"FSK", "MSK", &DecoderModule::bMSK},         {"PSK", "PSK2", &DecoderModule::bPSK2},
    {"PSK", "PSK4", &DecoderModule::bPSK4},       {"PSK", "PSK8", &DecoderModule::bPSK8},
    {"McPSK", "McPSK2", &DecoderModule::bMcPSK2}, {"McPSK", "McPSK4", &DecoderModule::bMcPSK4},
    {"PSK31", nullptr, &DecoderModule::bPSK31},
};

struct SingleModeRow
{
    const char* mode;
    Flag flag;
};

const SingleModeRow SINGLE_MODE_TABLE[] = {
    {"ASK", &DecoderModule::bASK},
    {"McFSK", &DecoderModule::bMcFSK},
    {"MTONE", &DecoderModule::bMTONE},
    {"MORSE", &DecoderModule::bMORSE},
    {"FAX", &DecoderModule::bFAX},
    {"SSTV", &DecoderModule::bSSTV},
    {"PACKET RADIO", &DecoderModule::bPACKET_RADIO},
    {"HELLSCHREIBER", &DecoderModule::bHELLSCHREIBER},
    {"PACTOR", &DecoderModule::bPACTOR},
    {"CLOVER", &DecoderModule::bCLOVER},
    {"F7W", &DecoderModule::bF7W},
    {"OQPSK", &DecoderModule::bOQPSK},
    {"MIL-STD", &DecoderModule::bMIL_STD},
    {"STANAG", &DecoderModule::bSTANAG},
    {"ACARS HF", &DecoderModule::bACARS_HF},
    {"HC-ARQ", &DecoderModule::bHC_ARQ},
    {"ICAO SELCAL", &DecoderModule::bICAO_SELCAL},
    {"PSK31", &DecoderModule::bPSK31},
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

/// Whether the line holds, somewhere, a number, a number, one word character, 26 single digits,
/// one word character and a word, separated by white space. Checked on the fields, which gives
/// the same answer as searching the line with that pattern but in linear time whatever the line.
bool isAccepted(const QString& line, const QVector<Field>& fields)
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
            return true;
    }
    return false;
}

char letterOf(const QString& text)
{
    return !text.isEmpty() && text.at(0).unicode() <= 0xFF ? static_cast<char>(text.at(0).unicode())
                                                           : 0;
}

DecoderModule moduleFromLine(const QString& line, const QVector<Field>& fields)
{
    auto field = [&](int index) {
        const Field& f = fields.at(index);
        return line.mid(f.begin, f.end - f.begin);
    };
    DecoderModule module;
    module.nModuleNumber = static_cast<qint32>(field(0).toLong(nullptr, 10));
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

void sortByName(std::vector<DecoderModule>& modules)
{
    std::stable_sort(modules.begin(), modules.end(),
                     [](const DecoderModule& a, const DecoderModule& b) {
                         return QString::compare(a.strName, b.strName, Qt::CaseInsensitive) < 0;
                     });
}

QByteArray numberText(double value)
{
    // Whole numbers keep a whole-number form, so that a saved file reads back the same.
    // The range test comes first: converting a double outside qint64 is undefined.
    if (value > -1e18 && value < 1e18 && value == static_cast<double>(static_cast<qint64>(value)))
        return QByteArray::number(static_cast<qint64>(value));
    return QByteArray::number(value, 'g', 6);
}

QByteArray lineOf(const DecoderModule& module)
{
    auto letter = [](char c) { return c ? QByteArray(1, c) : QByteArray("_"); };
    QByteArray line = QByteArray::number(module.nModuleNumber) + ' ' +
                      numberText(module.dSecondNumber) + ' ' + letter(module.cKind);
    for (Flag flag : FLAGS_IN_FILE_ORDER)
        line += module.*flag ? " 1" : " 0";
    line += ' ' + letter(module.cCharset) + ' ' + module.strName.toLatin1() + '\n';
    return line;
}

void appendName(QString& out, const QString& name)
{
    if (out.isEmpty())
        out = name;
    else
        out += QLatin1Char(';') + name;
}

template <class Select, class Visit>
void forSelected(const std::vector<DecoderModule>& modules, Select select, Visit visit)
{
    for (const DecoderModule& module : modules) {
        if (select(module))
            visit(module);
    }
}

bool familySelects(const DecoderModule& module, const QString& mode, const QString& subMode)
{
    for (const FamilyRow& row : FAMILY_TABLE) {
        if (mode == QLatin1String(row.mode) &&
            (!row.subMode || subMode == QLatin1String(row.subMode)) && module.*row.flag)
            return true;
    }
    return false;
}

bool singleModeSelects(const DecoderModule& module, const QString& mode)
{
    for (const SingleModeRow& row : SINGLE_MODE_TABLE) {
        if (mode == QLatin1String(row.mode) && module.*row.flag)
            return true;
    }
    return false;
}

} // namespace

DecoderModulesCenter* DecoderModulesCenter::Instance(const QString& path)
{
    static const std::unique_ptr<DecoderModulesCenter> instance(new DecoderModulesCenter(path));
    return instance.get();
}

DecoderModulesCenter::DecoderModulesCenter(const QString& path) : m_strFilePath(path)
{
    if (m_strFilePath.isEmpty()) {
        ICfg* cfg = CfgCenter::CreateCfg(QStringLiteral("AllLanternApplications"), 4, QString());
        if (cfg)
            m_strFilePath = cfg->ReadString(QStringLiteral("DecoderModulesFile"), QString(), 0);
    }
    Load();
}

DecoderModulesCenter::~DecoderModulesCenter() = default;

bool DecoderModulesCenter::Load()
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    QFile file(m_strFilePath);
    if (m_strFilePath.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        morse::trace(QStringLiteral("Decoder modules file can not be opened: ") + m_strFilePath,
                     SOURCE_FILE, 532);
        return false;
    }
    m_vecModules.clear();
    while (!file.atEnd()) {
        QByteArray raw = file.readLine();
        const int zero = raw.indexOf('\0');
        if (zero >= 0)
            raw.truncate(zero);
        const QString line = QString::fromUtf8(raw);
        const QVector<Field> fields = cutFields(line);
        if (isAccepted(line, fields))
            m_vecModules.push_back(moduleFromLine(line, fields));
    }
    sortByName(m_vecModules);
    return true;
}

bool DecoderModulesCenter::Save(const QString& path)
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    for (const DecoderModule& module : m_vecModules) {
        if (file.write(lineOf(module)) < 0)
            return false;
    }
    return file.flush();
}

void DecoderModulesCenter::SetFilePath(const QString& path)
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    m_strFilePath = path;
}

QString DecoderModulesCenter::FilePath() const
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    return m_strFilePath;
}

void DecoderModulesCenter::Modules(std::vector<DecoderModule>& out, bool reload)
{
    if (reload)
        Load();
    const std::lock_guard<std::mutex> lock(g_mutex);
    out = m_vecModules;
}

void DecoderModulesCenter::SetModules(const std::vector<DecoderModule>& in)
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    m_vecModules = in;
    sortByName(m_vecModules);
}

void DecoderModulesCenter::ModuleIds(std::vector<qint32>& out, bool reload)
{
    if (reload)
        Load();
    const std::lock_guard<std::mutex> lock(g_mutex);
    for (const DecoderModule& module : m_vecModules)
        out.push_back(module.nModuleNumber);
}

void DecoderModulesCenter::ModuleValues(std::vector<double>& out, bool reload)
{
    if (reload)
        Load();
    const std::lock_guard<std::mutex> lock(g_mutex);
    for (const DecoderModule& module : m_vecModules)
        out.push_back(module.dSecondNumber);
}

void DecoderModulesCenter::ModuleNames(std::vector<QString>& out, bool reload)
{
    if (reload)
        Load();
    const std::lock_guard<std::mutex> lock(g_mutex);
    for (const DecoderModule& module : m_vecModules)
        out.push_back(module.strName);
}

void DecoderModulesCenter::NamesForMode(const QString& mode, const QString& subMode, QString& out,
                                        bool reload)
{
    if (reload)
        Load();
    const std::lock_guard<std::mutex> lock(g_mutex);
    forSelected(
        m_vecModules, [&](const DecoderModule& m) { return familySelects(m, mode, subMode); },
        [&](const DecoderModule& m) { appendName(out, m.strName); });
}

void DecoderModulesCenter::ModulesForMode(const QString& mode, const QString& subMode,
                                          std::vector<DecoderModule>& out, bool reload)
{
    if (reload)
        Load();
    const std::lock_guard<std::mutex> lock(g_mutex);
    forSelected(
        m_vecModules, [&](const DecoderModule& m) { return familySelects(m, mode, subMode); },
        [&](const DecoderModule& m) { out.push_back(m); });
}

void DecoderModulesCenter::ValuesForMode(const QString& mode, const QString& subMode,
                                         std::vector<double>& out, bool reload)
{
    if (reload)
        Load();
    const std::lock_guard<std::mutex> lock(g_mutex);
    forSelected(
        m_vecModules, [&](const DecoderModule& m) { return familySelects(m, mode, subMode); },
        [&](const DecoderModule& m) { out.push_back(m.dSecondNumber); });
}

void DecoderModulesCenter::NamesForMode(const QString& mode, QString& out, bool reload)
{
    if (reload)
        Load();
    const std::lock_guard<std::mutex> lock(g_mutex);
    forSelected(
        m_vecModules, [&](const DecoderModule& m) { return singleModeSelects(m, mode); },
        [&](const DecoderModule& m) { appendName(out, m.strName); });
}

void DecoderModulesCenter::ModulesForMode(const QString& mode, std::vector<DecoderModule>& out,
                                          bool reload)
{
    if (reload)
        Load();
    const std::lock_guard<std::mutex> lock(g_mutex);
    forSelected(
        m_vecModules, [&](const DecoderModule& m) { return singleModeSelects(m, mode); },
        [&](const DecoderModule& m) { out.push_back(m); });
}

void DecoderModulesCenter::ValuesForMode(const QString& mode, std::vector<double>& out, bool reload)
{
    if (reload)
        Load();
    const std::lock_guard<std::mutex> lock(g_mutex);
    forSelected(
        m_vecModules, [&](const DecoderModule& m) { return singleModeSelects(m, mode); },
        [&](const DecoderModule& m) { out.push_back(m.dSecondNumber); });
}

void DecoderModulesCenter::CharsetForMode(const QString& mode, QString& out)
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    static const char* const ASCII_MODES[] = {"FSK", "ASK", "PSK", "McFSK", "McPSK", "F7W"};
    for (const char* asciiMode : ASCII_MODES) {
        if (mode == QLatin1String(asciiMode)) {
            out = QStringLiteral("ASCII");
            return;
        }
    }
    out = mode == QLatin1String("PSK31") ? QStringLiteral("PSK31_BPSK") : QStringLiteral("NONE");
}

} // namespace LanternIT
