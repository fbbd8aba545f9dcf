#include "tools/morsedsp/fouriertransform.h"

#include <kiss_fft.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

// The transform is used where KissFFT's own output was measured: whatever path a size takes,
// it must give KissFFT's output to the bit, forward and inverse.
class FourierTransformAgainstKissFft : public ::testing::TestWithParam<std::tuple<int, bool>>
{
};

TEST_P(FourierTransformAgainstKissFft, GivesTheSameBitsForWhateverInput)
{
    const int size = std::get<0>(GetParam());
    const bool inverse = std::get<1>(GetParam());
    dsp::FourierTransform transform(size_t(size), inverse);
    kiss_fft_cfg plan = kiss_fft_alloc(size, inverse ? 1 : 0, nullptr, nullptr);
    std::mt19937 random(unsigned(size) * 2 + (inverse ? 1 : 0));
    std::normal_distribution<float> gauss(0.0f, 1000.0f);
    std::vector<kiss_fft_cpx> expected(static_cast<size_t>(size));
    for (int round = 0; round < 3; ++round) {
        // Noise, a tone with silence around it (exact zeros), then noise again through the
        // same transform: nothing of one input may stay behind in the next.
        for (int i = 0; i < size; ++i) {
            std::complex<float> value(gauss(random), gauss(random));
            if (round == 1)
                value = (i > size / 4 && i < size / 2) ? std::polar(1.0f, 0.37f * float(i))
                                                       : std::complex<float>(0.0f, -0.0f);
            transform.Input()[i] = value;
        }
        const std::vector<std::complex<float>> input(transform.Input(), transform.Input() + size);
        kiss_fft(plan, reinterpret_cast<const kiss_fft_cpx*>(input.data()), expected.data());
        transform.Execute();
        EXPECT_EQ(0, std::memcmp(transform.Input(), input.data(), input.size() * 8))
            << "the input was changed";
        int differing = 0;
        for (int k = 0; k < size; ++k)
            if (std::memcmp(&transform.Output()[k], &expected[size_t(k)], 8) != 0)
                ++differing;
        EXPECT_EQ(0, differing) << "bins differing in round " << round;
    }
    kiss_fft_free(plan);
}

#if defined(__SSE2__)
// The library in use rounds as the vectorised path was written for, so that path is taken:
// losing it would cost the skimmer a tenth of its instructions without a word.
TEST(FourierTransform, PowersOfFourFromSixteenTakeTheVectorisedPathAndOthersTheLibrary)
{
    for (size_t size : {16, 256, 1024, 4096})
        for (bool inverse : {false, true})
            EXPECT_TRUE(dsp::FourierTransform(size, inverse).Vectorised()) << size << inverse;
    for (size_t size : {4, 8, 512, 2048, 1000})
        EXPECT_FALSE(dsp::FourierTransform(size).Vectorised()) << size;
}
#endif

INSTANTIATE_TEST_SUITE_P(PowersOfFourAndOthers, FourierTransformAgainstKissFft,
                         ::testing::Combine(::testing::Values(4, 16, 64, 256, 1024, 4096, 16384,
                                                              512, 2048, 1000),
                                            ::testing::Bool()));

} // namespace
