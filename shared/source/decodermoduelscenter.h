#pragma once

#include "shared/source/decodermodule.h"

#include <QString>

#include <vector>

namespace LanternIT {

/// The process-wide catalogue of the application's decoder modules, read from the decoder
/// modules file that the configuration centre names ("DecoderModulesFile" in the scope
/// "AllLanternApplications"). Records are kept sorted by name, ignoring case.
///
/// Thread-safe: one process-wide, non-recursive mutex guards every operation. Operations with
/// a reload flag re-read the file first, before taking the lock.
class MORSEHANDLER_EXPORT DecoderModulesCenter
{
public:
    /// The catalogue, created and loaded on the first call with @p path (empty: ask the
    /// configuration centre); later calls ignore @p path.
    static DecoderModulesCenter* Instance(const QString& path);

    /// A catalogue of its own, loaded from @p path (empty: the configured file). The library
    /// itself uses only the one of Instance.
    explicit DecoderModulesCenter(const QString& path);
    virtual ~DecoderModulesCenter();

    /// Re-reads the file; false (records kept) when it cannot be opened.
    bool Load();
    /// Writes all records to @p path in the file format; false if it cannot be written.
    bool Save(const QString& path);
    /// Where the next Load reads; does not reload.
    void SetFilePath(const QString& path);
    QString FilePath() const;

    // Queries. With @p reload the file is read again first. Except for Modules, which replaces
    // @p out, results are appended to @p out in the stored order (sorted by name).

    /// Replaces @p out with a copy of all records.
    void Modules(std::vector<DecoderModule>& out, bool reload);
    /// Replaces the records with @p in, sorted by name ignoring case; the file is not touched.
    void SetModules(const std::vector<DecoderModule>& in);
    /// Every record's module number.
    void ModuleIds(std::vector<qint32>& out, bool reload);
    /// Every record's second number.
    void ModuleValues(std::vector<double>& out, bool reload);
    /// Every record's name.
    void ModuleNames(std::vector<QString>& out, bool reload);

    /// The names of the modules of a mode family and sub-mode ("FSK"/"FSK2", "PSK"/"PSK4",
    /// "PSK31"/any, ...), added to @p out joined by ";".
    void NamesForMode(const QString& mode, const QString& subMode, QString& out, bool reload);
    /// The records of a mode family and sub-mode.
    void ModulesForMode(const QString& mode, const QString& subMode,
                        std::vector<DecoderModule>& out, bool reload);
    /// The second numbers of a mode family and sub-mode.
    void ValuesForMode(const QString& mode, const QString& subMode, std::vector<double>& out,
                       bool reload);
    /// The names of the modules of a single mode ("MORSE", "FAX", "PSK31", ...), added to
    /// @p out joined by ";".
    void NamesForMode(const QString& mode, QString& out, bool reload);
    /// The records of a single mode.
    void ModulesForMode(const QString& mode, std::vector<DecoderModule>& out, bool reload);
    /// The second numbers of a single mode.
    void ValuesForMode(const QString& mode, std::vector<double>& out, bool reload);

    /// The charset word of a mode family: "ASCII", "PSK31_BPSK" or "NONE".
    void CharsetForMode(const QString& mode, QString& out);

private:
    QString m_strFilePath;
    std::vector<DecoderModule> m_vecModules;
};

} // namespace LanternIT
