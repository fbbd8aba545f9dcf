#include "tools/morsedsp/hannwindow.h"

#include "tools/morsedsp/dspconstants.h"

#include <cmath>
#include <map>
#include <mutex>

namespace dsp {

std::shared_ptr<const std::vector<float>> hannWindow(size_t nSize)
{
    static std::mutex lock;
    static std::map<size_t, std::shared_ptr<const std::vector<float>>> windows;
    const std::lock_guard<std::mutex> guard(lock);
    std::shared_ptr<const std::vector<float>>& window = windows[nSize];
    if (!window) {
        auto made = std::make_shared<std::vector<float>>(nSize);
        for (size_t i = 0; i < nSize; ++i)
            (*made)[i] = float(0.5 - 0.5 * std::cos(TWO_PI * double(i) / double(nSize)));
        window = made;
    }
    return window;
}

} // namespace dsp
