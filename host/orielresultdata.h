#pragma once

#include "host/datablock.h"
#include "host/transmission.h"

#include <QString>

#include <memory>
#include <vector>

namespace OrielResultDataXml {

/// The host's result-data report: transmissions written as one XML file.
///
/// The file is UTF-8, written atomically (a temporary file renamed into place):
/// <OrielResultData><Transmission start=".." stop=".."><DataBlock a b c><Frame timestamp="..">
class MORSEHOST_EXPORT OrielResultData
{
public:
    OrielResultData();
    virtual ~OrielResultData();

    /// Directory against which relative file names are resolved.
    void SetWorkDir(const QString& directory);
    /// Takes ownership of @p transmission.
    void AddTransmission(Transmission* transmission);
    /// Writes the report; false on an empty name or a write error (nothing half-written).
    bool SaveFile(const QString& fileName);
    /// Drops all transmissions.
    virtual void Reset();

    const std::vector<std::unique_ptr<Transmission>>& Transmissions() const
    {
        return m_vecTransmissions;
    }
    /// The report as XML text, as SaveFile writes it.
    QByteArray ToXml() const;

private:
    QString m_strWorkDir;
    std::vector<std::unique_ptr<Transmission>> m_vecTransmissions;
};

} // namespace OrielResultDataXml
