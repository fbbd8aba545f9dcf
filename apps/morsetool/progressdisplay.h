#pragma once

#include <QElapsedTimer>

/// A progress bar on stderr for a long decode. It appears only when a person watches (stderr
/// is a terminal) and only once the work has taken a second, so short runs stay quiet; it is
/// wiped at the end so that it never mixes with the messages.
class ProgressDisplay
{
public:
    explicit ProgressDisplay(bool bEnabled);
    ~ProgressDisplay();

    /// Shows @p dFraction (0 to 1) done; a negative value (not known) shows nothing.
    void update(double dFraction);
    /// Wipes the bar.
    void finish();

private:
    bool m_bEnabled;
    bool m_bShown = false;
    int m_nPercentShown = -1;
    QElapsedTimer m_timer;
};
