#pragma once

#include "tools/cwdemodulator/cwskimmer.h"
#include "tools/cwdemodulator/workerlane.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace cw {

class CwSkimmerChannel;

/// One channel of the skimmer as a WorkerLane: the skimmer's thread follows the signal
/// (CwSkimmerChannel::Heard) and hands over one step per frame; a worker thread demodulates
/// the frames and turns the symbols into events, which the skimmer collects frame by frame
/// in the order one thread makes them. The worker touches only the demodulating half of the
/// channel (Loud, Process, TakeSymbol, Finish, Wpm); what a step needs of the other half
/// (pitch, level) travels with the step.
class SkimmerLane : public WorkerLane
{
public:
    struct Step
    {
        std::int64_t nFrame = 0; ///< demodulate up to this frame
        double dPitchHz = 0.0;   ///< the signal's pitch and level at that frame
        double dSnrDb = 0.0;
        bool bLoud = false;   ///< the signal's line is in this frame
        bool bProcess = true; ///< demodulate and give the frame's symbols
        bool bEnd = false;    ///< then finish the channel and give its Ended event
    };

    explicit SkimmerLane(std::unique_ptr<CwSkimmerChannel> pChannel);
    ~SkimmerLane() override;

    /// The channel, for the skimmer's thread: its pitch and level (Heard, PitchHz, SnrDb).
    CwSkimmerChannel& Channel() { return *m_pChannel; }
    /// Its speed after the last step delivered.
    double Wpm() const { return m_dWpm.load(std::memory_order_relaxed); }

    // Under the pool's lock.
    /// Hands over @p step; the caller then tells the pool the lane is Ready().
    void Hand(const Step& step) { m_handed.push_back(step); }
    /// Results delivered that were not collected yet: a processed frame's symbols and an end
    /// each count one.
    size_t Delivered() const { return m_deliveredSizes.size(); }
    /// Moves the oldest result's events to the end of @p events.
    void Collect(std::deque<CwSkimmer::Event>& events);

protected:
    void take() override;
    void run() override;
    void deliver() override;

private:
    void process(const Step& step);
    void end(const Step& step);
    void drain();
    void closeResult();

    /// The pitch and level a step gave for its frame; the first is that of the latest frame
    /// demodulated, the rest those of frames still waiting (see CwSkimmerChannel::DueFrame).
    struct Heard
    {
        std::int64_t nFrame;
        double dPitchHz;
        double dSnrDb;
    };

    std::unique_ptr<CwSkimmerChannel> m_pChannel;
    std::deque<Heard> m_heard;
    std::atomic<double> m_dWpm{0.0};
    std::vector<Step> m_handed;               ///< handed over, not yet taken (pool's lock)
    std::vector<Step> m_running;              ///< taken by the thread that runs the lane
    std::vector<CwSkimmer::Event> m_made;     ///< events of the steps run, not yet delivered
    std::vector<size_t> m_madeSizes;          ///< events per result in m_made
    size_t m_nResultStart = 0;                ///< where the result being made starts in m_made
    std::deque<CwSkimmer::Event> m_delivered; ///< delivered, not yet collected (pool's lock)
    std::deque<size_t> m_deliveredSizes;
};

} // namespace cw
