#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace dsp {

/// The periodic Hann window of @p nSize samples, for spectra taken with FourierTransform. Made
/// once per size and shared by every caller in the process: at the highest sample rates it is
/// half a million cosines, more than a short input's whole analysis. Safe from several threads.
std::shared_ptr<const std::vector<float>> hannWindow(size_t nSize);

} // namespace dsp
