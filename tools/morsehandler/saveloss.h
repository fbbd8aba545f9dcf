#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

namespace morse {

/// What a file that refused writes has cost: how many characters never reached it and the
/// timestamps (microseconds since 1970 UTC) of the first and the last of them. Kept by each
/// session file and by the report while they fail, and told to the host when they recover.
struct SaveLoss
{
    /// A time not known: no timestamp had been given when the text was lost.
    static constexpr quint64 NO_TIME = ~quint64(0);

    qint64 nCharacters = 0;
    quint64 u64FirstUs = NO_TIME;
    quint64 u64LastUs = NO_TIME;

    bool isEmpty() const { return nCharacters == 0; }
    /// Counts @p nLost characters lost at @p u64NowUs (NO_TIME when unknown).
    void add(qint64 nLost, quint64 u64NowUs);
    /// Takes in another loss.
    void merge(const SaveLoss& other);
    /// "12 characters, 2023-11-14 22:13:20.123 to 22:13:25.000 UTC" (times when known).
    QString describe() const;
    /// The note written where the lost text would have been: "[LOST 12 CHARACTERS ...]".
    QString marker() const;
};

/// Hears a saving failure episode of @p strFile start (@p pLoss null, @p strError why) and end
/// (@p pLoss what was lost; @p bRecovered false when it ended with the file still failing).
using SaveEpisodeListener = std::function<void(const QString& strFile, const QString& strError,
                                               const SaveLoss* pLoss, bool bRecovered)>;

} // namespace morse
