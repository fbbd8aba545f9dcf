#include "shared/source/decodermoduelscenter.h"

#include "host/cfgcenter.h"
#include "shared/source/decodermodulesfileparser.h"
#include "tools/morsehandler/trace.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>

namespace LanternIT {

namespace {

// One process-wide, non-recursive lock over every catalogue operation. An operation never calls
// another locking operation while it holds it. A standard mutex, which thread checkers see.
std::mutex g_mutex;

const QString SOURCE_FILE = QStringLiteral("shared\\source\\decodermoduelscenter");
using Flag = bool DecoderModule::*;

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

/// Whether @p name is a member of a mode family (FSK2 of FSK, ...): such a member is asked
/// for with its family, and as a mode of its own selects nothing.
bool isFamilyMember(const char* name)
{
    return std::any_of(std::begin(FAMILY_TABLE), std::end(FAMILY_TABLE),
                       [name](const FamilyRow& row) {
                           return row.subMode && std::strcmp(row.subMode, name) == 0;
                       });
}

void sortByName(std::vector<DecoderModule>& modules)
{
    std::stable_sort(modules.begin(), modules.end(),
                     [](const DecoderModule& a, const DecoderModule& b) {
                         return QString::compare(a.strName, b.strName, Qt::CaseInsensitive) < 0;
                     });
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
    const DecoderModule::ModeFlag* flags = DecoderModule::ModeFlags();
    for (int m = 0; m < DecoderModule::MODE_COUNT; ++m) {
        if (mode == QLatin1String(flags[m].name) && module.*flags[m].flag &&
            !isFamilyMember(flags[m].name))
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

namespace {
// The line number this trace line carries: the host shows it and its operators look it up, so
// it stays fixed whatever this file's layout.
constexpr int LINE_CANNOT_OPEN = 532;
} // namespace

bool DecoderModulesCenter::Load()
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    QFile file(m_strFilePath);
    if (m_strFilePath.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        morse::trace(QStringLiteral("Decoder modules file can not be opened: ") + m_strFilePath,
                     SOURCE_FILE, LINE_CANNOT_OPEN);
        return false;
    }
    m_vecModules.clear();
    DecoderModulesFileParser::Read(file, m_vecModules);
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
        if (file.write(DecoderModulesFileParser::FormatLine(module)) < 0)
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
