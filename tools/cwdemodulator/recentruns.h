#pragma once

#include "tools/morsedsp/ringbuffer.h"

#include <QtGlobal>

namespace cw {

/// The latest marks and gaps of a transmission, for CwTimingTracker to find the element length
/// that fits them best when the speed changed (or was lost).
class RecentRuns
{
public:
    void Clear();
    /// A finished mark or gap of @p nLength samples.
    void Remember(bool bMark, qint64 nLength);
    /// The element length that makes the recent runs fit Morse timing clearly better than
    /// @p dUnit and differs a lot from it, within the limits; @p dUnit when there is none.
    double Refit(double dUnit, double dMinUnit, double dMaxUnit) const;

private:
    /// The summed misfit of the runs at element length exp(@p dLogUnit), stopping once it
    /// reaches @p dBound; @p bMixed tells whether the marks held dots and dashes.
    double cost(double dLogUnit, double dBound, bool& bMixed) const;

    struct Run
    {
        bool bMark;
        float fLogLength;
    };
    dsp::RingBuffer<Run> m_runs{24};
};

} // namespace cw
