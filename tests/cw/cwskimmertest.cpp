// The skimmer: the filter bank's channels, the signal finder, and whole bands of several
// signals decoded at once without phantoms.

#include "cwbenchsupport.h"
#include "cwskimband.h"
#include "morsetoolrun.h"

#include "tools/cwdemodulator/channelizer.h"
#include "tools/cwdemodulator/channelizertap.h"
#include "tools/cwdemodulator/cwskimmer.h"
#include "tools/cwdemodulator/signalfinder.h"

#include "tools/morsedsp/dspconstants.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace {

std::vector<float> tone(double dHz, double dAmplitude, int nRate, size_t nCount)
{
    std::vector<float> samples(nCount);
    for (size_t i = 0; i < nCount; ++i)
        samples[i] = float(dAmplitude * std::cos(dsp::TWO_PI * dHz * double(i) / nRate));
    return samples;
}

/// Runs @p input through a channelizer and one tap centred at @p dCentreHz.
std::vector<float> tapOutput(const std::vector<float>& input, int nRate, double dCentreHz,
                             double* pToneHz = nullptr, int* pDecimation = nullptr)
{
    cw::Channelizer channelizer(nRate, 1.0);
    cw::ChannelizerTap tap(channelizer, dCentreHz);
    std::vector<float> out;
    for (size_t i = 0; i < input.size();) {
        i += channelizer.Push(input.data() + i, input.size() - i);
        if (channelizer.FrameReady())
            tap.Process(channelizer.FrameCount() - 1, out);
    }
    if (pToneHz)
        *pToneHz = tap.ToneHz() + (dCentreHz - tap.CentreHz());
    if (pDecimation)
        *pDecimation = channelizer.Decimation();
    return out;
}

double rms(const std::vector<float>& samples, size_t nFrom)
{
    double sum = 0.0;
    for (size_t i = nFrom; i < samples.size(); ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(samples.size() - nFrom));
}

struct TapCase
{
    int nRate;
    double dOffsetHz; ///< of the tone from the tap's centre
    double dGainDb;   ///< expected level of the tone in the tap's audio
};

class ChannelizerTapTest : public ::testing::TestWithParam<TapCase>
{
};

TEST_P(ChannelizerTapTest, PassesItsSignalWholeAndStopsNeighbours)
{
    const TapCase c = GetParam();
    const double centre = 1000.0;
    const std::vector<float> input = tone(centre + c.dOffsetHz, 0.5, c.nRate, size_t(c.nRate) * 2);
    const std::vector<float> out = tapOutput(input, c.nRate, centre);
    ASSERT_GT(out.size(), 1000u);
    const double level = 20.0 * std::log10(rms(out, out.size() / 2) / (0.5 / std::sqrt(2.0)));
    if (c.dGainDb > -50.0)
        EXPECT_NEAR(level, c.dGainDb, 0.5);
    else
        EXPECT_LT(level, c.dGainDb);
}

INSTANTIATE_TEST_SUITE_P(Rates, ChannelizerTapTest,
                         ::testing::Values(TapCase{8000, 0.0, 0.0}, TapCase{8000, 40.0, 0.0},
                                           TapCase{8000, -45.0, 0.0}, TapCase{8000, 150.0, -50.0},
                                           TapCase{8000, -300.0, -50.0}, TapCase{48000, 30.0, 0.0},
                                           TapCase{48000, 200.0, -50.0},
                                           TapCase{192000, -20.0, 0.0},
                                           TapCase{192000, 120.0, -50.0}));

TEST(ChannelizerTapTest, AudioIsAContinuousToneAcrossFrames)
{
    // A tone 13 Hz above the centre must come out as one clean sinusoid: a wrong phase
    // between frames would show as a jump every frame.
    const int rate = 8000;
    double toneHz = 0.0;
    int decimation = 0;
    const std::vector<float> out =
        tapOutput(tone(1013.0, 0.5, rate, rate * 2), rate, 1000.0, &toneHz, &decimation);
    const double outRate = double(rate) / decimation;
    // Fit the expected frequency's phase and amplitude on the second half, then compare.
    const size_t from = out.size() / 2;
    double c = 0.0, s = 0.0;
    for (size_t i = from; i < out.size(); ++i) {
        c += out[i] * std::cos(dsp::TWO_PI * (toneHz + 13.0) * double(i) / outRate);
        s += out[i] * std::sin(dsp::TWO_PI * (toneHz + 13.0) * double(i) / outRate);
    }
    const double n = double(out.size() - from);
    double worst = 0.0;
    for (size_t i = from; i < out.size(); ++i) {
        const double phase = dsp::TWO_PI * (toneHz + 13.0) * double(i) / outRate;
        const double fit = 2.0 / n * (c * std::cos(phase) + s * std::sin(phase));
        worst = std::max(worst, std::abs(out[i] - fit));
    }
    EXPECT_NEAR(2.0 / n * std::hypot(c, s), 0.5, 0.01);
    EXPECT_LT(worst, 0.01);
}

/// A band of 200 to 3500 Hz in bins of 4 Hz: 200 Hz is bin 50, 3500 Hz bin 875.
cw::SignalFinder::Settings fourHertzBins()
{
    cw::SignalFinder::Settings settings;
    settings.dBinHz = 4.0;
    settings.nBins = 1025;
    settings.dLowHz = 200.0;
    settings.dHighHz = 3500.0;
    return settings;
}

/// The lines the finder reports at the end of @p samples.
std::vector<cw::SignalFinder::Line> linesAtEnd(const std::vector<float>& samples)
{
    cw::Channelizer channelizer(8000, 1.0);
    cw::SignalFinder::Settings settings = fourHertzBins(); // the band, in the channelizer's bins
    settings.dBinHz = channelizer.BinHz();
    settings.nBins = channelizer.Bins();
    settings.dFrameSec = channelizer.FrameSec();
    cw::SignalFinder finder(settings);
    for (size_t i = 0; i < samples.size();) {
        i += channelizer.Push(samples.data() + i, samples.size() - i);
        if (channelizer.FrameReady())
            finder.Push(channelizer.Power());
    }
    return finder.Lines();
}

TEST(SignalFinderTest, NoiseAloneAndSteadyCarriersAreNoSignals)
{
    std::vector<float> noise(8000 * 6, 0.0f);
    noise[0] = 1.0f;
    cwbench::addNoise(noise, 8000, 0.0, 3);
    EXPECT_TRUE(linesAtEnd(noise).empty());
    const std::vector<float> carrier = tone(900.0, 0.5, 8000, noise.size());
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] += carrier[i];
    EXPECT_TRUE(linesAtEnd(noise).empty());
}

TEST(SignalFinderTest, NoiseFloorIsTheBandsMedianPower)
{
    // The first spectrum's floor is its band's median over ln 2, whatever the spread of the
    // powers: ties, zeros, many octaves, values that share all but their last bits.
    const cw::SignalFinder::Settings settings = fourHertzBins();
    const size_t low = 50;
    const size_t high = 875; // the bins of 200 and 3500 Hz
    std::vector<std::vector<float>> spectra(5, std::vector<float>(settings.nBins, 0.0f));
    for (size_t i = 0; i < settings.nBins; ++i) {
        spectra[0][i] = float(i % 7);                                                 // ties
        spectra[1][i] = i % 3 == 0 ? 0.0f : float(std::ldexp(1.0, int(i % 40) - 20)); // octaves
        spectra[2][i] = 1.0f + float(i % 97) * std::numeric_limits<float>::epsilon(); // last bits
        spectra[3][i] = 0.25f;                                                        // all alike
        spectra[4][i] = float(std::fmod(double(i) * 0.61803398875, 1.0) * 1e-3);      // a spread
    }
    for (const std::vector<float>& power : spectra) {
        std::vector<float> band(power.begin() + low, power.begin() + high + 1);
        std::nth_element(band.begin(), band.begin() + band.size() / 2, band.end());
        cw::SignalFinder finder(settings);
        finder.Push(power);
        EXPECT_DOUBLE_EQ(finder.NoiseFloor(),
                         std::max(double(band[band.size() / 2]) / dsp::LN2, 1e-20));
    }
}

TEST(SignalFinderTest, ALineIsActiveAndLoudWithinReachOfItsPitchOnly)
{
    // Lines at 1200 Hz and at the band's lowest bin (200 Hz) over a flat floor, 4 Hz a bin:
    // a pitch counts where its reach touches a line's bin, edges included, and not a bin
    // further; a pitch whose reach lies wholly below the band finds no line, even beside one.
    const cw::SignalFinder::Settings settings = fourHertzBins();
    std::vector<float> power(settings.nBins, 1e-3f);
    power[300] = power[50] = 100.0f;
    cw::SignalFinder finder(settings);
    for (int i = 0; i < 3; ++i)
        finder.Push(power);
    EXPECT_TRUE(finder.IsActive(1200.0, 10.0));
    EXPECT_TRUE(finder.IsLoudNow(1200.0, 10.0));
    EXPECT_TRUE(finder.IsActive(1212.0, 12.0));
    EXPECT_TRUE(finder.IsActive(1188.0, 12.0));
    EXPECT_FALSE(finder.IsActive(1220.0, 10.0));
    EXPECT_FALSE(finder.IsLoudNow(1180.0, 10.0));
    EXPECT_TRUE(finder.IsActive(206.0, 6.0));
    EXPECT_FALSE(finder.IsActive(100.0, 10.0));
    EXPECT_FALSE(finder.IsLoudNow(100.0, 10.0));
    EXPECT_FALSE(finder.IsActive(5000.0, 10.0));
}

TEST(SignalFinderTest, FindsAKeyedLineAtItsPitch)
{
    cw::CwSynthesizer::Settings settings;
    settings.dPitchHz = 1234.0;
    settings.bNoise = true;
    settings.dSnrDb = 0.0;
    cw::CwSynthesizer synthesizer(settings);
    synthesizer.SetText(QStringLiteral("CQ CQ DE DL1ABC"));
    const auto lines = linesAtEnd(synthesizer.RenderAll());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NEAR(lines[0].dPitchHz, 1234.0, 2.0);
    EXPECT_NEAR(lines[0].dSnrDb, 0.0, 4.0);
}

TEST(CwSkimmerTest, DecodesThreeSignalsBesideAStrongClickingNeighbourWithoutPhantoms)
{
    QTemporaryDir work;
    cwskim::Band band;
    band.transmitters = {
        {QStringLiteral("CQ CQ DE DL1ABC DL1ABC K"), 600.0, 18.0, 3.0, 0.5, false, false, 5.0, 1},
        {QStringLiteral("TEST DE W1AW W1AW TEST"), 1000.0, 25.0, 8.0, 1.7, true, false, 5.0, 2},
        {QStringLiteral("UR RST 599 5NN TU"), 1850.0, 22.0, 0.0, 2.4, false, false, 5.0, 3},
        // A strong signal with hard keying 300 Hz above the second: its clicks reach far.
        {QStringLiteral("QRL QRL DE OK1XYZ"), 1300.0, 28.0, 25.0, 1.0, false, false, 0.5, 4},
    };
    const std::vector<float> samples = cwskim::render(band, 11, work.path());
    cw::CwSkimmer::Settings settings;
    settings.dSampleRate = band.nRate;
    const std::vector<cwskim::Decoded> decoded = cwskim::skim(samples, settings);
    const cwskim::Score score = cwskim::score(band, decoded);
    EXPECT_EQ(score.dPhantomShare, 0.0);
    ASSERT_EQ(score.cer.size(), 4u);
    for (size_t i = 0; i < score.cer.size(); ++i)
        EXPECT_LE(score.cer[i], 0.05) << "signal " << i;
}

/// Two signals at 8 kHz, short enough for the command-line tests.
cwskim::Band twoSignals()
{
    cwskim::Band band;
    band.transmitters = {
        {QStringLiteral("CQ DE DL1ABC K"), 700.0, 22.0, 10.0, 0.5, false, false, 5.0, 1},
        {QStringLiteral("TEST W1AW"), 1400.0, 25.0, 6.0, 1.0, false, false, 5.0, 2}};
    return band;
}

TEST(CwSkimmerTest, EventsDoNotDependOnTheBlockSizesOrTheThreads)
{
    // The channels run on other threads behind the filter bank; what comes out, and its
    // order, must be what one thread makes.
    QTemporaryDir work;
    const cwskim::Band band = cwskim::randomBand(6, 8000, 400.0, 3400.0, 3, false, 100.0, 3.0);
    const std::vector<float> samples = cwskim::render(band, 5, work.path());
    using Seen = std::tuple<int, int, int, std::int64_t, double, double, double>;
    auto events = [&](size_t block, size_t threads) {
        cw::CwSkimmer::Settings settings;
        settings.nThreads = threads;
        cw::CwSkimmer skimmer(settings);
        std::vector<Seen> seen;
        auto take = [&] {
            for (cw::CwSkimmer::Event event; skimmer.TakeEvent(event);)
                seen.emplace_back(int(event.kind), event.nChannel, event.symbol.nCode,
                                  event.symbol.nSamplePosition, event.dPitchHz, event.dWpm,
                                  event.dSnrDb);
        };
        for (size_t i = 0; i < samples.size(); i += block) {
            skimmer.Process(samples.data() + i, std::min(block, samples.size() - i));
            take();
        }
        skimmer.Finish();
        take();
        return seen;
    };
    const auto whole = events(samples.size(), 1);
    EXPECT_GT(whole.size(), 200u);
    const std::vector<std::pair<size_t, size_t>> runs = {
        {997, 1}, {8192, 1}, {997, 2}, {4096, 2}, {samples.size(), 3}};
    for (const auto& [block, threads] : runs)
        EXPECT_EQ(events(block, threads), whole)
            << block << " samples a block, " << threads << " threads";
}

TEST(CwSkimmerTest, ASignalKeyedUntilTheInputEndsIsStillDecoded)
{
    // The last signal starts too late for its speed to be learned before the input ends:
    // only the channel's end decides it, and that must not be taken for quiet noise.
    QTemporaryDir work;
    cwskim::Band band = twoSignals();
    band.transmitters.push_back(
        {QStringLiteral("TU 73"), 1900.0, 28.0, 10.0, 6.0, false, false, 5.0, 3});
    band.dTailSec = 0.0;
    const std::vector<float> samples = cwskim::render(band, 7, work.path());
    cw::CwSkimmer::Settings settings;
    settings.dSampleRate = band.nRate;
    const cwskim::Score score = cwskim::score(band, cwskim::skim(samples, settings));
    ASSERT_EQ(score.cer.size(), 3u);
    for (size_t i = 0; i < score.cer.size(); ++i)
        EXPECT_LE(score.cer[i], 0.2) << "signal " << i;
}

TEST(CwSkimmerTest, ASignalThatPausesAndGoesOnIsDecodedWhole)
{
    // A pause of 2.5 s: the channel stays open, its quiet frames wait, and when the signal
    // comes back they are demodulated first, so that the line goes on where it stopped.
    QTemporaryDir work;
    cwskim::Band first;
    first.transmitters = {
        {QStringLiteral("CQ CQ DE DL1ABC"), 900.0, 20.0, 10.0, 0.5, false, false, 5.0, 1}};
    first.dTailSec = 2.5;
    cwskim::Band then = first;
    then.transmitters[0].text = QStringLiteral("TEST W1AW K");
    then.transmitters[0].dStartSec = 0.0;
    std::vector<float> samples = cwskim::render(first, 3, work.path());
    const std::vector<float> more = cwskim::render(then, 4, work.path());
    samples.insert(samples.end(), more.begin(), more.end());
    cw::CwSkimmer::Settings settings;
    const std::vector<cwskim::Decoded> decoded = cwskim::skim(samples, settings);
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(decoded[0].text.simplified(), QStringLiteral("CQ CQ DE DL1ABC TEST W1AW K"));
}

TEST(CwSkimmerTest, DamagedSamplesAndSilenceMakeNoChannel)
{
    std::vector<float> samples(8000 * 5, 0.0f);
    for (size_t i = 0; i < samples.size(); i += 101)
        samples[i] = std::numeric_limits<float>::quiet_NaN();
    samples[7] = 1e9f;
    cw::CwSkimmer::Settings settings;
    cw::CwSkimmer skimmer(settings);
    skimmer.Process(samples.data(), samples.size());
    skimmer.Finish();
    cw::CwSkimmer::Event event;
    EXPECT_FALSE(skimmer.TakeEvent(event));
}

TEST(MorsetoolSkimTest, PrintsOneLinePerSignalAsTextOrJson)
{
    if (!HAVE_MORSETOOL)
        GTEST_SKIP() << "morsetool is not built";
    QTemporaryDir work;
    const QString path = work.filePath(QStringLiteral("band.wav"));
    ASSERT_TRUE(cwbench::writeAudio(path, cwskim::render(twoSignals(), 5, work.path()), 8000));

    const MorsetoolRun run = runMorsetool({"skim", path});
    QStringList lines = run.text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(runMorsetool({"skim", "--threads", "2", path}).out, run.out);
    ASSERT_EQ(lines.size(), 2);
    lines.sort();
    const QStringList first = lines[0].split(QLatin1Char('\t'));
    ASSERT_EQ(first.size(), 4);
    EXPECT_NEAR(first[0].toDouble(), 0.5, 0.3);
    EXPECT_NEAR(first[1].toDouble(), 700.0, 5.0);
    EXPECT_NEAR(first[2].toDouble(), 22.0, 2.0);
    EXPECT_EQ(first[3], QStringLiteral("CQ DE DL1ABC K"));

    const MorsetoolRun json =
        runMorsetool({"skim", "--format", "jsonl", "--band", "1000-2000", path});
    EXPECT_EQ(json.exitCode, 0);
    const QJsonObject object = QJsonDocument::fromJson(json.out).object();
    EXPECT_EQ(object.value(QStringLiteral("text")).toString(), QStringLiteral("TEST W1AW"));
    EXPECT_NEAR(object.value(QStringLiteral("pitch")).toDouble(), 1400.0, 5.0);
    EXPECT_NEAR(object.value(QStringLiteral("start")).toDouble(), 1.0, 0.3);
    for (const char* field : {"wpm", "input", "line", "start_utc", "end_s", "snr_db", "alphabet"})
        EXPECT_TRUE(object.contains(QLatin1String(field))) << field;
}

TEST(MorsetoolSkimTest, RefusesWhatItCannotUse)
{
    if (!HAVE_MORSETOOL)
        GTEST_SKIP() << "morsetool is not built";
    QTemporaryDir work;
    const QString silent = work.filePath(QStringLiteral("silent.wav"));
    ASSERT_TRUE(cwbench::writeAudio(silent, std::vector<float>(8000 * 3, 0.0f), 8000));
    const struct
    {
        QStringList arguments;
        int exitCode;
    } cases[] = {
        {{"skim", silent}, 1}, // no signal
        {{"skim", "--pitch", "700", silent}, 2},
        {{"skim", "--band", "900-100", silent}, 2},
        {{"skim", "--band", "100-9000", silent}, 2},
        {{"skim", "--format", "xml", silent}, 2},
        {{"skim", "--threads", "0", silent}, 2},
        {{"skim", "--threads", "1.5", silent}, 2},
        {{"skim", work.filePath(QStringLiteral("missing.wav"))}, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(runMorsetool(c.arguments).exitCode, c.exitCode)
            << qPrintable(c.arguments.join(' '));
}

} // namespace
