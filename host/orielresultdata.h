#pragma once

#include "host/datablock.h"
#include "host/transmission.h"

#include <QString>

#include <memory>
#include <vector>

namespace OrielResultDataXml {

/// The host's result-data report: transmissions written as one XML file.
///
/// The file is UTF-8, written atomically (a hidden temporary file named after the report and the
/// writing process, moved into place) and never over an existing file: when the name is taken, the
/// report goes to the first free name with a counter before the extension ("report_2.xml",
/// "report_3.xml", ...). The elements nest as
/// `<OrielResultData><Transmission start stop><DataBlock a b c><Frame timestamp>`.
class MORSEHOST_EXPORT OrielResultData
{
public:
    OrielResultData();
    virtual ~OrielResultData();

    /// Directory of the report when SaveFile is given a bare file name. A new directory is
    /// first cleared of the temporary files of saves that a killed process left unfinished.
    void SetWorkDir(const QString& directory);
    /// Removes from @p directory the temporary files of reports whose writing process has
    /// ended; those of running processes stay. How many were removed.
    static int RemoveStaleTemporaryFiles(const QString& directory);
    /// Takes ownership of @p transmission.
    void AddTransmission(Transmission* transmission);
    /// Writes the report; false on an empty name or a write error (nothing half-written).
    bool SaveFile(const QString& fileName);
    /// The path the last successful SaveFile wrote; empty after a failed one.
    QString SavedFilePath() const { return m_strSavedFilePath; }
    /// Why the last SaveFile failed; empty after a successful one.
    QString ErrorString() const { return m_strError; }
    /// Whether the last successful SaveFile had to take a counter because the name was taken.
    bool SavedUnderOtherName() const { return m_bSavedUnderOtherName; }
    /// Drops all transmissions.
    virtual void Reset();

    /// The transmissions added since the last Reset, oldest first.
    const std::vector<std::unique_ptr<Transmission>>& Transmissions() const
    {
        return m_vecTransmissions;
    }
    /// The report as XML text, as SaveFile writes it.
    QByteArray ToXml() const;

private:
    bool fail(const QString& error);

    QString m_strWorkDir;
    QString m_strError;
    QString m_strSavedFilePath;
    bool m_bSavedUnderOtherName = false;
    std::vector<std::unique_ptr<Transmission>> m_vecTransmissions;
};

} // namespace OrielResultDataXml
