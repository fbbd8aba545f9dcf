#include "tools/cwdemodulator/gaussiannoise.h"

#include "tools/cwdemodulator/portableuniform.h"
#include "tools/morsedsp/dspconstants.h"

#include <cmath>

namespace cw {

double GaussianNoise::Next()
{
    if (m_bHaveSpare) {
        m_bHaveSpare = false;
        return m_dSpare;
    }
    double u1 = 0.0;
    do {
        u1 = portableUniform(m_random);
    } while (u1 <= 0.0);
    const double u2 = portableUniform(m_random);
    const double radius = std::sqrt(-2.0 * std::log(u1));
    m_dSpare = radius * std::sin(dsp::TWO_PI * u2);
    m_bHaveSpare = true;
    return radius * std::cos(dsp::TWO_PI * u2);
}

} // namespace cw
