#include "tools/cwdemodulator/cwskimmerchannel.h"

#include "tools/cwdemodulator/channelizer.h"
#include "tools/cwdemodulator/channelizertap.h"
#include "tools/cwdemodulator/cwdemodulator.h"

#include <cmath>

namespace cw {

namespace {

constexpr double PITCH_FOLLOWING = 0.1; ///< share of each sighting's offset taken
/// The tap is moved when the signal drifted this far from its centre: the demodulator
/// follows smaller drift itself, and each move is a phase step it has to settle after.
constexpr double RETUNE_HZ = 35.0;
/// Elements this long after the last frame the signal was keyed in are noise.
constexpr double QUIET_MARGIN_SEC = 0.5;
/// Audio demodulated after the last keyed frame before the rest waits: the quiet margin and
/// the silence that closes the last character and word.
constexpr double QUIET_DUE_SEC = 1.0;
/// Frames of the channelizer's history left unused when waiting frames are caught up, so
/// that the oldest of them is still kept.
constexpr std::int64_t HISTORY_SPARE_FRAMES = 2;
/// Steps per element length the channel's decisions weigh its signal in: most of a channel's
/// cost is the decisions' search, which grows with the square of the steps, and at 5 instead
/// of the 8 of a single decoder the bands of the skimmer's table decode alike.
constexpr int DECISION_STEPS_PER_ELEMENT = 5;
/// Log prior of the least likely mark or element-gap length the channel's decisions try: the
/// search at each step, and the weighing of each mark length on its own phase, run over fewer
/// lengths (at -8 instead of -14 a seventh of a channel's cost, at -6 another 5 % of the
/// 8-signal band's instructions), and the bands of the skimmer's table decode alike over 4
/// bands of each case. At -5 a signal of each 8-signal case read 3.3 % wrong.
constexpr double LEAST_LIKELY_LENGTH = -6.0;
/// Baseband samples per second of the channel's demodulator: half of a single decoder's
/// 1000 halves the cost of every stage that runs per sample (the filters, the tone's
/// tracking, the timing trials; a fifth of the 8-signal band's instructions). The 8 kHz
/// bands of the skimmer's table decode alike; of 240 signals at 48 kHz, one hand-sent
/// signal read two dots of its last call as dashes.
constexpr double BASEBAND_RATE = 500.0;

} // namespace

CwSkimmerChannel::CwSkimmerChannel(int nId, const Channelizer& channelizer, double dPitchHz,
                                   std::int64_t nFirstFrame,
                                   const std::vector<std::string>& characterCodes)
    : m_nId(nId), m_channelizer(channelizer), m_dPitchHz(dPitchHz), m_nFirstFrame(nFirstFrame),
      m_nNextFrame(nFirstFrame), m_nLastHeard(nFirstFrame), m_nLastLoud(nFirstFrame),
      m_pTap(std::make_unique<ChannelizerTap>(channelizer, dPitchHz))
{
    CwDemodulator::Settings settings;
    settings.dSampleRate = channelizer.OutputRate();
    // The tap moves the bin nearest the pitch to its tone; the rest of the offset the
    // demodulator's own carrier tracking takes up.
    settings.dPitchHz = m_pTap->ToneHz() + (dPitchHz - m_pTap->CentreHz());
    settings.characterCodes = characterCodes;
    settings.nDecisionStepsPerElement = DECISION_STEPS_PER_ELEMENT;
    settings.dLeastLikelyLength = LEAST_LIKELY_LENGTH;
    settings.bLeanAcquisition = true;
    settings.dBasebandRate = BASEBAND_RATE;
    m_pDemodulator = std::make_unique<CwDemodulator>(settings);
}

CwSkimmerChannel::~CwSkimmerChannel() = default;

double CwSkimmerChannel::Wpm() const
{
    return m_pDemodulator->Wpm();
}

void CwSkimmerChannel::Heard(std::int64_t nFrame, double dPitchHz, double dSnrDb)
{
    m_nLastHeard = nFrame;
    m_dSnrDb = dSnrDb;
    m_dPitchHz += PITCH_FOLLOWING * (dPitchHz - m_dPitchHz);
    if (std::abs(m_dPitchHz - m_pTap->CentreHz()) > RETUNE_HZ)
        m_pTap->Retune(m_dPitchHz);
}

void CwSkimmerChannel::Process(std::int64_t nFrame)
{
    m_audio.clear();
    m_pTap->Process(nFrame, m_audio);
    m_pDemodulator->Process(m_audio.data(), m_audio.size());
    m_nNextFrame = nFrame + 1;
}

std::int64_t CwSkimmerChannel::DueFrame(std::int64_t nLatest) const
{
    const std::int64_t quiet = std::int64_t(std::ceil(QUIET_DUE_SEC / m_channelizer.FrameSec()));
    const std::int64_t kept = std::int64_t(m_channelizer.HistoryFrames()) - HISTORY_SPARE_FRAMES;
    return std::min(nLatest, std::max(m_nLastLoud + quiet, nLatest - kept));
}

void CwSkimmerChannel::Finish()
{
    // Audio held after the signal went quiet is noise whose dots and dashes would all be
    // dropped: deciding it (the speed search on it) would be work for nothing.
    const std::int64_t held = m_pDemodulator->HeldFrom();
    if (held >= 0 && inputPosition(held) >= quietFrom())
        return;
    m_pDemodulator->Finish();
}

bool CwSkimmerChannel::TakeSymbol(CwSymbol& symbol)
{
    while (m_pDemodulator->TakeSymbol(symbol)) {
        symbol.nSamplePosition = inputPosition(symbol.nSamplePosition);
        if (keeps(symbol))
            return true;
    }
    return false;
}

std::int64_t CwSkimmerChannel::inputPosition(std::int64_t nChannelSample) const
{
    return std::max<std::int64_t>(0, m_channelizer.FrameOrigin(m_nFirstFrame) +
                                         nChannelSample * m_channelizer.Decimation());
}

std::int64_t CwSkimmerChannel::quietFrom() const
{
    return m_channelizer.FrameOrigin(m_nLastLoud + 1) +
           std::int64_t(QUIET_MARGIN_SEC * m_channelizer.SampleRate());
}

bool CwSkimmerChannel::keeps(const CwSymbol& symbol)
{
    switch (symbol.nCode) {
    case morse::SYMBOL_END_OF_CHARACTER:
        if (!m_bElementsPending)
            return false;
        m_bElementsPending = false;
        m_bCharactersPending = true;
        return true;
    case morse::SYMBOL_END_OF_WORD:
        if (!m_bElementsPending && !m_bCharactersPending)
            return false;
        m_bElementsPending = m_bCharactersPending = false;
        return true;
    case morse::SYMBOL_END_OF_LINE:
        m_bElementsPending = m_bCharactersPending = false;
        return true;
    default:
        if (symbol.nSamplePosition >= quietFrom())
            return false;
        m_bElementsPending = true;
        return true;
    }
}

} // namespace cw
