#include "tools/cwdemodulator/cwskimmer.h"

#include "tools/cwdemodulator/channelizer.h"
#include "tools/cwdemodulator/cwskimmerchannel.h"
#include "tools/cwdemodulator/damagedsamplefilter.h"
#include "tools/cwdemodulator/signalfinder.h"
#include "tools/cwdemodulator/workerpool.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace cw {

namespace {

/// Spectra kept for channels opened late: a signal is found within a second or two of its
/// start, and its channel starts this far back so that its first characters are decoded.
constexpr double REPLAY_SEC = 4.0;
constexpr double EDGE_HZ = 200.0;        ///< left out at each end of the default band
constexpr double SAME_CHANNEL_HZ = 30.0; ///< a line this close to a channel is its signal
constexpr std::int64_t ONSET_MARGIN_FRAMES = 2;
constexpr double LOUD_REACH_HZ = 10.0; ///< how near its pitch a keyed frame shows
constexpr double MAX_SAMPLE_RATE = 192000.0;

} // namespace

/// The skimmer's blocks and channels, kept out of the public header.
class CWDEMODULATOR_NO_EXPORT CwSkimmer::Private
{
public:
    explicit Private(const Settings& settings);

    void Process(const float* pSamples, size_t nCount);
    void Finish();
    bool TakeEvent(Event& event);
    std::vector<ChannelState> Channels() const;

    void processFrame();
    void demodulateChannels(std::int64_t nFrame);
    void assignLines();
    void openChannel(double dPitchHz, double dSnrDb, size_t nOnsetFramesAgo);
    void endSilentChannels();
    void drain(CwSkimmerChannel& channel);
    void endChannel(size_t nIndex);

    Settings m_settings;
    std::unique_ptr<Channelizer> m_pChannelizer;
    std::unique_ptr<SignalFinder> m_pFinder;
    std::unique_ptr<WorkerPool> m_pWorkers;
    std::vector<std::unique_ptr<CwSkimmerChannel>> m_channels;
    std::deque<Event> m_events;
    DamagedSampleFilter m_damagedSamples;
    std::int64_t m_nInput = 0;
    int m_nNextId = 1;
    bool m_bFinished = false;
};

bool CwSkimmer::IsUsableSampleRate(double dSampleRate)
{
    return dSampleRate >= 4000.0 && dSampleRate <= MAX_SAMPLE_RATE;
}

void CwSkimmer::DefaultBand(double dSampleRate, double& dLowHz, double& dHighHz)
{
    const double nyquist = dSampleRate / 2.0;
    dLowHz = EDGE_HZ;
    dHighHz = nyquist - std::max(EDGE_HZ, 0.05 * nyquist);
}

CwSkimmer::CwSkimmer(const Settings& settings) : d(std::make_unique<Private>(settings)) {}

CwSkimmer::~CwSkimmer() = default;

void CwSkimmer::Process(const float* pSamples, size_t nCount)
{
    d->Process(pSamples, nCount);
}

void CwSkimmer::Finish()
{
    d->Finish();
}

bool CwSkimmer::TakeEvent(Event& event)
{
    return d->TakeEvent(event);
}

std::vector<CwSkimmer::ChannelState> CwSkimmer::Channels() const
{
    return d->Channels();
}

std::int64_t CwSkimmer::SamplesProcessed() const
{
    return d->m_nInput;
}

CwSkimmer::Private::Private(const Settings& settings) : m_settings(settings)
{
    double low = 0.0;
    double high = 0.0;
    DefaultBand(settings.dSampleRate, low, high);
    if (m_settings.dLowHz <= 0.0)
        m_settings.dLowHz = low;
    if (m_settings.dHighHz <= 0.0)
        m_settings.dHighHz = high;
    m_pChannelizer = std::make_unique<Channelizer>(settings.dSampleRate, REPLAY_SEC);
    SignalFinder::Settings finder;
    finder.dBinHz = m_pChannelizer->BinHz();
    finder.nBins = m_pChannelizer->Bins();
    finder.dFrameSec = m_pChannelizer->FrameSec();
    finder.dLowHz = m_settings.dLowHz;
    finder.dHighHz = m_settings.dHighHz;
    finder.dMinSnrDb = m_settings.dMinSnrDb;
    m_pFinder = std::make_unique<SignalFinder>(finder);
    m_pWorkers = std::make_unique<WorkerPool>(std::max<size_t>(1, settings.nThreads));
}

void CwSkimmer::Private::Process(const float* pSamples, size_t nCount)
{
    if (m_bFinished)
        return;
    pSamples = m_damagedSamples.Push(pSamples, nCount);
    m_nInput += std::int64_t(nCount);
    while (nCount > 0) {
        const size_t taken = m_pChannelizer->Push(pSamples, nCount);
        pSamples += taken;
        nCount -= taken;
        if (m_pChannelizer->FrameReady())
            processFrame();
    }
}

void CwSkimmer::Private::Finish()
{
    if (m_bFinished)
        return;
    // Two more frames carry the last input samples through the middle of a frame.
    const std::vector<float> silence(m_pChannelizer->Hop() * 2, 0.0f);
    const std::int64_t input = m_nInput;
    Process(silence.data(), silence.size());
    m_nInput = input;
    m_bFinished = true;
    while (!m_channels.empty())
        endChannel(m_channels.size() - 1);
}

bool CwSkimmer::Private::TakeEvent(Event& event)
{
    if (m_events.empty())
        return false;
    event = m_events.front();
    m_events.pop_front();
    return true;
}

std::vector<CwSkimmer::ChannelState> CwSkimmer::Private::Channels() const
{
    std::vector<ChannelState> states;
    for (const auto& channel : m_channels)
        states.push_back({channel->Id(), channel->PitchHz(), channel->Wpm(), channel->SnrDb()});
    return states;
}

void CwSkimmer::Private::processFrame()
{
    m_pFinder->Push(m_pChannelizer->Power());
    assignLines();
    const std::int64_t frame = m_pChannelizer->FrameCount() - 1;
    for (auto& channel : m_channels) {
        if (m_pFinder->IsLoudNow(channel->PitchHz(), LOUD_REACH_HZ))
            channel->Loud(frame);
    }
    demodulateChannels(frame);
    for (auto& channel : m_channels) {
        drain(*channel);
    }
    endSilentChannels();
}

void CwSkimmer::Private::demodulateChannels(std::int64_t nFrame)
{
    // Channels are independent once the frame is transformed: the pool's threads take them
    // one at a time as they come free. A new channel starts with the frames kept from before
    // it was found.
    m_pWorkers->Run(m_channels.size(), [this, nFrame](size_t nChannel) {
        CwSkimmerChannel& channel = *m_channels[nChannel];
        for (std::int64_t f = channel.NextFrame(); f <= nFrame; ++f)
            channel.Process(f);
    });
}

void CwSkimmer::Private::assignLines()
{
    const std::int64_t frame = m_pChannelizer->FrameCount() - 1;
    for (const SignalFinder::Line& line : m_pFinder->Lines()) {
        CwSkimmerChannel* nearest = nullptr;
        double nearestHz = SAME_CHANNEL_HZ;
        for (auto& channel : m_channels) {
            const double apart = std::abs(channel->PitchHz() - line.dPitchHz);
            if (apart < nearestHz) {
                nearest = channel.get();
                nearestHz = apart;
            }
        }
        if (nearest != nullptr)
            nearest->Heard(frame, line.dPitchHz, line.dSnrDb);
        else if (m_channels.size() < m_settings.nMaxChannels)
            openChannel(line.dPitchHz, line.dSnrDb, line.nOnsetFramesAgo);
    }
}

void CwSkimmer::Private::openChannel(double dPitchHz, double dSnrDb, size_t nOnsetFramesAgo)
{
    const std::int64_t frame = m_pChannelizer->FrameCount() - 1;
    // The channel starts a little before the signal was first keyed: noise before it only
    // misleads the demodulator's first estimate of the speed.
    const std::int64_t first = std::max(
        m_pChannelizer->OldestFrame(), frame - std::int64_t(nOnsetFramesAgo) - ONSET_MARGIN_FRAMES);
    auto channel = std::make_unique<CwSkimmerChannel>(m_nNextId++, *m_pChannelizer, dPitchHz, first,
                                                      m_settings.characterCodes);
    channel->Heard(frame, dPitchHz, dSnrDb);
    channel->Loud(frame);
    Event event;
    event.kind = Event::Kind::Started;
    event.nChannel = channel->Id();
    event.dPitchHz = dPitchHz;
    m_events.push_back(event);
    m_channels.push_back(std::move(channel));
}

void CwSkimmer::Private::endSilentChannels()
{
    for (size_t i = m_channels.size(); i-- > 0;) {
        const CwSkimmerChannel& channel = *m_channels[i];
        if (!m_pFinder->IsActive(channel.PitchHz(), SAME_CHANNEL_HZ))
            endChannel(i);
    }
}

void CwSkimmer::Private::drain(CwSkimmerChannel& channel)
{
    Event event;
    event.kind = Event::Kind::Symbol;
    event.nChannel = channel.Id();
    while (channel.TakeSymbol(event.symbol)) {
        event.dPitchHz = channel.PitchHz();
        event.dWpm = channel.Wpm();
        event.dSnrDb = channel.SnrDb();
        m_events.push_back(event);
    }
}

void CwSkimmer::Private::endChannel(size_t nIndex)
{
    CwSkimmerChannel& channel = *m_channels[nIndex];
    channel.Finish();
    drain(channel);
    Event event;
    event.kind = Event::Kind::Ended;
    event.nChannel = channel.Id();
    event.dPitchHz = channel.PitchHz();
    event.dWpm = channel.Wpm();
    m_events.push_back(event);
    m_channels.erase(m_channels.begin() + std::ptrdiff_t(nIndex));
}

} // namespace cw
