#pragma once

#include "tools/cwdemodulator/cwskimmer.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <vector>

/// The live view of `morsetool skim` on a terminal: one row per signal being decoded (pitch,
/// speed, signal-to-noise and the end of its current line), redrawn in place below the
/// lines that have ended, which scroll up as in the plain output.
class SkimDisplay
{
public:
    explicit SkimDisplay(FILE* out);

    /// A finished line, printed above the rows.
    void line(const QString& strLine);
    /// Redraws the rows for @p channels; @p text gives a channel's current text.
    void update(const std::vector<cw::CwSkimmer::ChannelState>& channels,
                const std::function<QString(int)>& text);
    /// Wipes the rows.
    void finish();

private:
    void wipe();

    FILE* m_pOut;
    int m_nRows = 0; ///< rows drawn below the ended lines
    QStringList m_pendingLines;
};
