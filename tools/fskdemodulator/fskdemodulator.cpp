#include "tools/fskdemodulator/fskdemodulator.h"

#include "tools/fskdemodulator/characterframer.h"
#include "tools/fskdemodulator/frequencytracker.h"
#include "tools/fskdemodulator/shiftrepair.h"
#include "tools/fskdemodulator/signalsearch.h"
#include "tools/fskdemodulator/tonebalance.h"
#include "tools/fskdemodulator/tonefilter.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace fsk {

namespace {

/// The noise bandwidth the signal-to-noise ratio is given in.
constexpr double SNR_BANDWIDTH_HZ = 2500.0;
/// The tones may drift this share of their shift away from where they were found: further,
/// one would be taken for the other.
constexpr double MAX_DRIFT_SHARE = 0.4;
/// A search whose best framing breaks more stop bits than this looks again with this many
/// search windows of audio: from -6 dB the true speed breaks none in most 3 s windows, and a
/// window that breaks some may have chosen 45.45 for 50 baud or the reverse.
constexpr double MAX_FRAMING_ERRORS = 0.1;
constexpr size_t MAX_HOLD_WINDOWS = 2;
/// It looks again as well when the window held fewer characters than this: a signal that
/// began late in it breaks no stop bit at 45.45 baud or at 50 in a few characters, and the
/// wrong speed drifts a tenth of a bit per character off the grid.
constexpr size_t MIN_CHARACTERS = 12;

} // namespace

FskDemodulator::FskDemodulator(const Settings& settings)
    : m_settings(settings),
      m_nSearchSamples(size_t(std::max(0.5, settings.dSearchSec) * settings.dSampleRate)),
      m_nHoldSamples(m_nSearchSamples),
      m_pText(std::make_unique<ShiftRepair>(settings.text, settings.bRepairShifts))
{
    m_held.reserve(m_nSearchSamples);
}

FskDemodulator::~FskDemodulator() = default;

void FskDemodulator::Push(const float* pSamples, size_t nCount)
{
    m_nInput += int64_t(nCount);
    while (nCount > 0 && !m_bLocked) {
        const size_t take = std::min(nCount, m_nHoldSamples - m_held.size());
        // The search sees what the demodulator sees: a sample that is not a number is silence.
        for (size_t i = 0; i < take; ++i)
            m_held.push_back(std::isfinite(pSamples[i]) ? pSamples[i] : 0.0f);
        pSamples += take;
        nCount -= take;
        if (m_held.size() == m_nHoldSamples)
            search(false);
    }
    for (size_t i = 0; i < nCount; ++i)
        demodulate(pSamples[i]);
}

void FskDemodulator::Finish()
{
    if (!m_bLocked && !m_held.empty())
        search(true);
    // A character still being framed has not reached its stop bit: it is not complete.
    if (m_pFramer) {
        m_pFramer->Finish();
        publishFrames();
    }
    m_pText->Finish();
}

bool FskDemodulator::TakeCharacter(Character& character)
{
    ShiftRepair::Character taken;
    if (!m_pText->Take(taken))
        return false;
    character.cText = taken.cText;
    character.nCode = taken.nCode;
    character.bFramingError = taken.bFramingError;
    character.nSample = taken.nSample;
    return true;
}

double FskDemodulator::SnrDb() const
{
    if (m_dDecidedBits < 2.0)
        return std::numeric_limits<double>::quiet_NaN();
    // At the decided bits the winning filter holds the tone's amplitude a plus complex noise
    // of power p, which spreads the amplitude with variance p / 2. The filter gives white
    // noise of variance s2 as p = 4 s2 / L; the tone's power is a^2 / 2 and the noise's in
    // the band 2 s2 B / rate.
    const double mean = m_dOnSum / m_dDecidedBits;
    const double spread = std::max(m_dOnSquares / m_dDecidedBits - mean * mean, 1e-30);
    const double length = m_settings.dSampleRate / m_dBaud;
    const double variance = 2.0 * spread * length / 4.0;
    const double signal = mean * mean / 2.0;
    const double noise = variance * 2.0 * SNR_BANDWIDTH_HZ / m_settings.dSampleRate;
    return 10.0 * std::log10(signal / noise);
}

void FskDemodulator::search(bool bFinal)
{
    SignalSearch::Hints hints;
    hints.dSampleRate = m_settings.dSampleRate;
    hints.dMarkHz = m_settings.dMarkHz;
    hints.dSpaceHz = m_settings.dSpaceHz;
    hints.dShiftHz = m_settings.dShiftHz;
    hints.dBaud = m_settings.dBaud;
    if (m_settings.polarity != eFIND_POLARITY)
        hints.nReversed = m_settings.polarity == eREVERSED ? 1 : 0;
    const SignalSearch::Result found = SignalSearch::Find(m_held.data(), m_held.size(), hints);
    if (!found.bFound) {
        // Nothing to decode here: keep the newer half and look again when more has come.
        if (!bFinal) {
            const size_t dropped = m_held.size() - std::min(m_held.size(), m_nSearchSamples / 2);
            m_held.erase(m_held.begin(), m_held.begin() + long(dropped));
            m_nFramerOrigin += int64_t(dropped);
            m_nHoldSamples = m_nSearchSamples;
        }
        return;
    }
    // A signal that frames badly or shows few characters may have only just begun: look once
    // more with twice the audio, keeping all of it.
    const bool unsure =
        found.dFramingErrors > MAX_FRAMING_ERRORS || found.nCharacters < MIN_CHARACTERS;
    if (!bFinal && unsure && m_nHoldSamples < MAX_HOLD_WINDOWS * m_nSearchSamples) {
        m_nHoldSamples = MAX_HOLD_WINDOWS * m_nSearchSamples;
        return;
    }
    lock(found.dMarkHz, found.dSpaceHz, found.dBaud);
    m_pBalance->Prime(*m_pMark, *m_pSpace, m_held.data(), m_held.size(), m_settings.dSampleRate);
    for (const float sample : m_held)
        demodulate(sample);
    m_held.clear();
    m_held.shrink_to_fit();
}

void FskDemodulator::lock(double dMarkHz, double dSpaceHz, double dBaud)
{
    m_dMarkHz = dMarkHz;
    m_dSpaceHz = dSpaceHz;
    m_dBaud = dBaud;
    const double bit = m_settings.dSampleRate / dBaud;
    const size_t length = size_t(std::lround(bit));
    m_pMark = std::make_unique<ToneFilter>(dMarkHz, m_settings.dSampleRate, length);
    m_pSpace = std::make_unique<ToneFilter>(dSpaceHz, m_settings.dSampleRate, length);
    m_pBalance = std::make_unique<ToneBalance>(bit);
    m_pTracker = std::make_unique<FrequencyTracker>(m_settings.dSampleRate, bit,
                                                    MAX_DRIFT_SHARE * std::abs(dMarkHz - dSpaceHz));
    m_pFramer = std::make_unique<CharacterFramer>(bit);
    m_nFilterLength = int64_t(length);
    m_nFilling = m_nFilterLength;
    m_bLocked = true;
}

void FskDemodulator::demodulate(float fSample)
{
    if (!std::isfinite(fSample))
        fSample = 0.0f;
    m_fMark = m_pMark->Push(fSample);
    m_fSpace = m_pSpace->Push(fSample);
    if (m_pTracker->Push(m_pMark->Sum(), m_pSpace->Sum())) {
        m_pMark->Retune(m_dMarkHz + m_pTracker->OffsetHz());
        m_pSpace->Retune(m_dSpaceHz + m_pTracker->OffsetHz());
    }
    const float value = m_pBalance->Push(m_fMark, m_fSpace);
    // Until the filters hold a whole bit, their sums are no decision.
    if (m_nFilling > 0) {
        --m_nFilling;
        return;
    }
    const int event = m_pFramer->Push(value);
    if (event & CharacterFramer::eBIT) {
        const bool isMark = m_pFramer->LastBitIsMark();
        const double on = isMark ? m_fMark : m_fSpace;
        m_dOnSum += on;
        m_dOnSquares += on * on;
        m_dDecidedBits += 1.0;
    }
    if (m_pFramer->HasFrames())
        publishFrames();
}

void FskDemodulator::publishFrames()
{
    CharacterFramer::Frame frame;
    while (m_pFramer->TakeFrame(frame)) {
        ShiftRepair::Character character;
        character.nCode = frame.nCode;
        std::copy(std::begin(frame.afMargins), std::end(frame.afMargins),
                  std::begin(character.afMargins));
        character.bFramingError = frame.bFramingError;
        // The framer counts from the first sample it was given.
        character.nSample = m_nFramerOrigin + m_nFilterLength + int64_t(frame.dStartSample);
        m_pText->Push(character);
    }
}

} // namespace fsk
