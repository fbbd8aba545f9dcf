#include "tools/cwdemodulator/staticcrashes.h"

#include "tools/cwdemodulator/portableuniform.h"

#include <algorithm>
#include <cmath>

namespace cw {

namespace {

constexpr double CRASH_MIN_SEC = 0.002;
constexpr double CRASH_MAX_SEC = 0.010;

} // namespace

StaticCrashes::StaticCrashes(double dSampleRate, double dPerSec, double dCrashDb)
    : m_dSampleRate(dSampleRate), m_dPerSec(dPerSec), m_dCrashDb(dCrashDb)
{
}

double StaticCrashes::Next(std::mt19937& random, double dTone)
{
    const double rate = m_dSampleRate;
    if (m_nLeft == 0) {
        if (portableUniform(random) >= m_dPerSec / rate)
            return 0.0;
        const double seconds =
            CRASH_MIN_SEC + (CRASH_MAX_SEC - CRASH_MIN_SEC) * portableUniform(random);
        m_nLeft = std::max<qint64>(1, qint64(seconds * rate));
        m_dAmplitude = dTone * std::pow(10.0, m_dCrashDb / 20.0);
        m_dDecay = std::pow(0.1, 1.0 / double(m_nLeft));
    }
    --m_nLeft;
    m_dAmplitude *= m_dDecay;
    return m_dAmplitude * (2.0 * portableUniform(random) - 1.0);
}

} // namespace cw
