#include "tools/morsedsp/hannwindow.h"

#include "tools/morsedsp/designcache.h"
#include "tools/morsedsp/dspconstants.h"

#include <cmath>

namespace dsp {

std::shared_ptr<const std::vector<float>> hannWindow(size_t nSize)
{
    static DesignCache<size_t> windows;
    return windows.Get(nSize, [nSize] {
        std::vector<float> window(nSize);
        for (size_t i = 0; i < nSize; ++i)
            window[i] = float(0.5 - 0.5 * std::cos(TWO_PI * double(i) / double(nSize)));
        return window;
    });
}

} // namespace dsp
