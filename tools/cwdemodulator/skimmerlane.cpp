#include "tools/cwdemodulator/skimmerlane.h"

#include "tools/cwdemodulator/cwskimmerchannel.h"

namespace cw {

SkimmerLane::SkimmerLane(std::unique_ptr<CwSkimmerChannel> pChannel)
    : m_pChannel(std::move(pChannel))
{
}

SkimmerLane::~SkimmerLane() = default;

void SkimmerLane::Collect(std::deque<CwSkimmer::Event>& events)
{
    const size_t count = m_deliveredSizes.front();
    m_deliveredSizes.pop_front();
    const auto end = m_delivered.begin() + std::ptrdiff_t(count);
    events.insert(events.end(), m_delivered.begin(), end);
    m_delivered.erase(m_delivered.begin(), end);
}

void SkimmerLane::take()
{
    m_running.swap(m_handed);
    m_handed.clear();
}

void SkimmerLane::run()
{
    for (const Step& step : m_running) {
        if (step.bProcess)
            process(step);
        if (step.bEnd)
            end(step);
    }
    m_running.clear();
    m_dWpm.store(m_pChannel->Wpm(), std::memory_order_relaxed);
}

void SkimmerLane::deliver()
{
    m_delivered.insert(m_delivered.end(), m_made.begin(), m_made.end());
    m_deliveredSizes.insert(m_deliveredSizes.end(), m_madeSizes.begin(), m_madeSizes.end());
    m_made.clear();
    m_madeSizes.clear();
    m_nResultStart = 0;
}

void SkimmerLane::process(const Step& step)
{
    // A new channel starts with the frames kept from before its signal was found; a quiet
    // one leaves its latest frames until the signal comes back or the channel ends.
    if (step.bLoud)
        m_pChannel->Loud(step.nFrame);
    m_heard.push_back({step.nFrame, step.dPitchHz, step.dSnrDb});
    const std::int64_t due = m_pChannel->DueFrame(step.nFrame);
    for (std::int64_t f = m_pChannel->NextFrame(); f <= due; ++f)
        m_pChannel->Process(f);
    // The symbols carry the pitch and level of the latest frame demodulated.
    while (m_heard.size() > 1 && m_heard[1].nFrame <= due)
        m_heard.pop_front();
    drain();
    closeResult();
}

void SkimmerLane::end(const Step& step)
{
    m_pChannel->Finish();
    drain();
    CwSkimmer::Event event;
    event.kind = CwSkimmer::Event::Kind::Ended;
    event.nChannel = m_pChannel->Id();
    event.dPitchHz = step.dPitchHz;
    event.dWpm = m_pChannel->Wpm();
    m_made.push_back(event);
    closeResult();
}

void SkimmerLane::drain()
{
    CwSkimmer::Event event;
    event.kind = CwSkimmer::Event::Kind::Symbol;
    event.nChannel = m_pChannel->Id();
    if (!m_heard.empty()) {
        event.dPitchHz = m_heard.front().dPitchHz;
        event.dSnrDb = m_heard.front().dSnrDb;
    }
    while (m_pChannel->TakeSymbol(event.symbol)) {
        event.dWpm = m_pChannel->Wpm();
        m_made.push_back(event);
    }
}

void SkimmerLane::closeResult()
{
    m_madeSizes.push_back(m_made.size() - m_nResultStart);
    m_nResultStart = m_made.size();
}

} // namespace cw
