#pragma once

#include "host/datablock.h"

#include <QDateTime>

#include <memory>
#include <vector>

namespace OrielResultDataXml {

/// One transmission of a report: a time span and its data blocks.
class MORSEHOST_EXPORT Transmission
{
public:
    Transmission();
    ~Transmission();

    void SetStartTime(const QDateTime& start);
    void SetStopTime(const QDateTime& stop);
    /// Takes ownership of @p block.
    void AddDataBlock(DataBlock* block);

    /// Invalid until set: the report then leaves the attribute out.
    QDateTime StartTime() const { return m_dtStart; }
    QDateTime StopTime() const { return m_dtStop; }
    const std::vector<std::unique_ptr<DataBlock>>& DataBlocks() const { return m_vecBlocks; }

private:
    QDateTime m_dtStart;
    QDateTime m_dtStop;
    std::vector<std::unique_ptr<DataBlock>> m_vecBlocks;
};

} // namespace OrielResultDataXml
