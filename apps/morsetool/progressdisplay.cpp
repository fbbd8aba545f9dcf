#include "progressdisplay.h"

#include <cstdio>

namespace {

constexpr int WIDTH = 40;
constexpr qint64 DELAY_MS = 1000;

} // namespace

ProgressDisplay::ProgressDisplay(bool bEnabled) : m_bEnabled(bEnabled)
{
    m_timer.start();
}

ProgressDisplay::~ProgressDisplay()
{
    finish();
}

void ProgressDisplay::update(double dFraction)
{
    if (!m_bEnabled || dFraction < 0.0 || m_timer.elapsed() < DELAY_MS)
        return;
    const int percent = int(qBound(0.0, dFraction, 1.0) * 100.0);
    if (percent == m_nPercentShown)
        return;
    m_nPercentShown = percent;
    m_bShown = true;
    const int filled = percent * WIDTH / 100;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                 WIDTH - filled, "", percent);
    std::fflush(stderr);
}

void ProgressDisplay::finish()
{
    if (m_bShown)
        std::fprintf(stderr, "\r%*s\r", WIDTH + 8, "");
    m_bShown = false;
}
