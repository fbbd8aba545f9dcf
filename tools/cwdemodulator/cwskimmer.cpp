#include "tools/cwdemodulator/cwskimmer.h"

#include "tools/cwdemodulator/channelizer.h"
#include "tools/cwdemodulator/cwskimmerchannel.h"
#include "tools/cwdemodulator/damagedsamplefilter.h"
#include "tools/cwdemodulator/signalfinder.h"
#include "tools/cwdemodulator/skimmerlane.h"
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
/// How far the channels' demodulators may lag behind the filter bank on several threads:
/// long enough that the others go on while one channel takes a costly step.
constexpr double LANE_LAG_SEC = 2.0;

} // namespace

/// The skimmer's blocks and channels, kept out of the public header. The caller's thread
/// runs the filter bank and the signal finder and follows each signal; the channels'
/// demodulators run as lanes of the worker pool, up to a second or two behind, and their
/// events are collected frame by frame in the order one thread makes them.
class CWDEMODULATOR_NO_EXPORT CwSkimmer::Private
{
public:
    explicit Private(const Settings& settings);
    ~Private();

    void Process(const float* pSamples, size_t nCount);
    void Finish();
    bool TakeEvent(Event& event);
    std::vector<ChannelState> Channels() const;

    /// What one frame asks of the lanes, and the order their results are collected in.
    struct FrameRecord
    {
        std::vector<Event> started;
        std::vector<std::shared_ptr<SkimmerLane>> processed; ///< in channel order
        std::vector<std::shared_ptr<SkimmerLane>> ended;     ///< last channel first
    };

    void processFrame();
    void assignLines(FrameRecord& record);
    void openChannel(double dPitchHz, double dSnrDb, size_t nOnsetFramesAgo, FrameRecord& record);
    void handSteps(FrameRecord& record);
    void endAllChannels();
    void runAndCollect(size_t nMaxFramesAhead);
    void collect();
    bool isDelivered(const FrameRecord& record) const;

    Settings m_settings;
    std::unique_ptr<Channelizer> m_pChannelizer;
    std::unique_ptr<SignalFinder> m_pFinder;
    std::vector<std::shared_ptr<SkimmerLane>> m_lanes; ///< the channels open, oldest first
    std::deque<FrameRecord> m_frames;                  ///< frames not collected yet
    std::deque<Event> m_events;
    DamagedSampleFilter m_damagedSamples;
    std::int64_t m_nInput = 0;
    size_t m_nMaxFramesAhead = 0; ///< frames the lanes may lag behind the filter bank
    int m_nNextId = 1;
    bool m_bFinished = false;
    std::unique_ptr<WorkerPool> m_pWorkers; ///< last: its threads end before the lanes go
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
    const size_t threads = std::max<size_t>(1, settings.nThreads);
    // On several threads the lanes still read frames the filter bank has gone past.
    const double lagSec = threads > 1 ? LANE_LAG_SEC : 0.0;
    m_pChannelizer = std::make_unique<Channelizer>(settings.dSampleRate, REPLAY_SEC, lagSec);
    m_nMaxFramesAhead = size_t(std::ceil(lagSec / m_pChannelizer->FrameSec()));
    SignalFinder::Settings finder;
    finder.dBinHz = m_pChannelizer->BinHz();
    finder.nBins = m_pChannelizer->Bins();
    finder.dFrameSec = m_pChannelizer->FrameSec();
    finder.dLowHz = m_settings.dLowHz;
    finder.dHighHz = m_settings.dHighHz;
    finder.dMinSnrDb = m_settings.dMinSnrDb;
    m_pFinder = std::make_unique<SignalFinder>(finder);
    m_pWorkers = std::make_unique<WorkerPool>(threads);
}

CwSkimmer::Private::~Private()
{
    // The pool's threads end first: none may still run a lane.
    m_pWorkers.reset();
}

void CwSkimmer::Private::Process(const float* pSamples, size_t nCount)
{
    if (m_bFinished)
        return;
    pSamples = m_damagedSamples.Push(pSamples, nCount);
    m_nInput += std::int64_t(nCount);
    while (nCount > 0) {
        // A new frame overwrites the oldest one kept: the lanes must be past it.
        runAndCollect(m_nMaxFramesAhead);
        const size_t taken = m_pChannelizer->Push(pSamples, nCount);
        pSamples += taken;
        nCount -= taken;
        if (m_pChannelizer->FrameReady())
            processFrame();
    }
    collect();
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
    endAllChannels();
    runAndCollect(0);
}

bool CwSkimmer::Private::TakeEvent(Event& event)
{
    if (m_events.empty())
        collect();
    if (m_events.empty())
        return false;
    event = m_events.front();
    m_events.pop_front();
    return true;
}

std::vector<CwSkimmer::ChannelState> CwSkimmer::Private::Channels() const
{
    std::vector<ChannelState> states;
    for (const auto& lane : m_lanes) {
        CwSkimmerChannel& channel = lane->Channel();
        states.push_back({channel.Id(), channel.PitchHz(), lane->Wpm(), channel.SnrDb()});
    }
    return states;
}

void CwSkimmer::Private::processFrame()
{
    m_pFinder->Push(m_pChannelizer->Power());
    m_frames.emplace_back();
    FrameRecord& record = m_frames.back();
    assignLines(record);
    handSteps(record);
    if (m_pWorkers->Threads() == 1)
        runAndCollect(0);
}

void CwSkimmer::Private::assignLines(FrameRecord& record)
{
    const std::int64_t frame = m_pChannelizer->FrameCount() - 1;
    for (const SignalFinder::Line& line : m_pFinder->Lines()) {
        CwSkimmerChannel* nearest = nullptr;
        double nearestHz = SAME_CHANNEL_HZ;
        for (auto& lane : m_lanes) {
            const double apart = std::abs(lane->Channel().PitchHz() - line.dPitchHz);
            if (apart < nearestHz) {
                nearest = &lane->Channel();
                nearestHz = apart;
            }
        }
        if (nearest != nullptr)
            nearest->Heard(frame, line.dPitchHz, line.dSnrDb);
        else if (m_lanes.size() < m_settings.nMaxChannels)
            openChannel(line.dPitchHz, line.dSnrDb, line.nOnsetFramesAgo, record);
    }
}

void CwSkimmer::Private::openChannel(double dPitchHz, double dSnrDb, size_t nOnsetFramesAgo,
                                     FrameRecord& record)
{
    const std::int64_t frame = m_pChannelizer->FrameCount() - 1;
    // The channel starts a little before the signal was first keyed: noise before it only
    // misleads the demodulator's first estimate of the speed.
    const std::int64_t first = std::max(
        m_pChannelizer->OldestFrame(), frame - std::int64_t(nOnsetFramesAgo) - ONSET_MARGIN_FRAMES);
    auto channel = std::make_unique<CwSkimmerChannel>(m_nNextId++, *m_pChannelizer, dPitchHz, first,
                                                      m_settings.characterCodes);
    channel->Heard(frame, dPitchHz, dSnrDb);
    Event event;
    event.kind = Event::Kind::Started;
    event.nChannel = channel->Id();
    event.dPitchHz = dPitchHz;
    record.started.push_back(event);
    m_lanes.push_back(std::make_shared<SkimmerLane>(std::move(channel)));
}

void CwSkimmer::Private::handSteps(FrameRecord& record)
{
    // Every channel demodulates the frame; those whose line has gone then end, last first.
    const std::int64_t frame = m_pChannelizer->FrameCount() - 1;
    const size_t opened = record.started.size();
    std::vector<bool> ends(m_lanes.size(), false);
    for (size_t i = m_lanes.size(); i-- > 0;) {
        ends[i] = !m_pFinder->IsActive(m_lanes[i]->Channel().PitchHz(), SAME_CHANNEL_HZ);
        if (ends[i])
            record.ended.push_back(m_lanes[i]);
    }
    record.processed = m_lanes;
    {
        auto lock = m_pWorkers->Lock();
        for (size_t i = 0; i < m_lanes.size(); ++i) {
            const CwSkimmerChannel& channel = m_lanes[i]->Channel();
            SkimmerLane::Step step;
            step.nFrame = frame;
            step.dPitchHz = channel.PitchHz();
            step.dSnrDb = channel.SnrDb();
            step.bLoud = i + opened >= m_lanes.size() ||
                         m_pFinder->IsLoudNow(channel.PitchHz(), LOUD_REACH_HZ);
            step.bEnd = ends[i];
            m_lanes[i]->Hand(step);
            m_pWorkers->Ready(*m_lanes[i]);
        }
    }
    for (size_t i = m_lanes.size(); i-- > 0;) {
        if (ends[i])
            m_lanes.erase(m_lanes.begin() + std::ptrdiff_t(i));
    }
}

void CwSkimmer::Private::endAllChannels()
{
    m_frames.emplace_back();
    FrameRecord& record = m_frames.back();
    auto lock = m_pWorkers->Lock();
    for (size_t i = m_lanes.size(); i-- > 0;) {
        const CwSkimmerChannel& channel = m_lanes[i]->Channel();
        SkimmerLane::Step step;
        step.dPitchHz = channel.PitchHz();
        step.dSnrDb = channel.SnrDb();
        step.bProcess = false;
        step.bEnd = true;
        m_lanes[i]->Hand(step);
        m_pWorkers->Ready(*m_lanes[i]);
        record.ended.push_back(m_lanes[i]);
    }
    m_lanes.clear();
}

void CwSkimmer::Private::runAndCollect(size_t nMaxFramesAhead)
{
    // The caller's thread works on the lanes too while it waits for them.
    std::uint64_t seen = 0;
    for (;;) {
        {
            auto lock = m_pWorkers->Lock();
            seen = m_pWorkers->Deliveries();
        }
        collect();
        if (m_frames.size() <= nMaxFramesAhead || !m_pWorkers->HelpOrWait(seen))
            return;
    }
}

void CwSkimmer::Private::collect()
{
    auto lock = m_pWorkers->Lock();
    while (!m_frames.empty() && isDelivered(m_frames.front())) {
        FrameRecord& record = m_frames.front();
        m_events.insert(m_events.end(), record.started.begin(), record.started.end());
        for (const auto& lane : record.processed)
            lane->Collect(m_events);
        for (const auto& lane : record.ended)
            lane->Collect(m_events);
        m_frames.pop_front();
    }
}

bool CwSkimmer::Private::isDelivered(const FrameRecord& record) const
{
    // A channel that ends in the frame delivers its symbols and then its end.
    for (const auto& lane : record.processed) {
        const bool ends =
            std::find(record.ended.begin(), record.ended.end(), lane) != record.ended.end();
        if (lane->Delivered() < (ends ? 2u : 1u))
            return false;
    }
    for (const auto& lane : record.ended) {
        if (lane->Delivered() < 1)
            return false;
    }
    return true;
}

} // namespace cw
