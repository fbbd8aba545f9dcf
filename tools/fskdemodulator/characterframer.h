#pragma once

#include <deque>

#include "tools/fskdemodulator/charactergrid.h"
#include "tools/fskdemodulator/decisionswing.h"
#include "tools/fskdemodulator/transitionfinder.h"
#include "tools/fskdemodulator/valuehistory.h"

namespace fsk {

/// Finds start-stop characters in the decision value of the tone balance (positive: mark):
/// a start bit (space), five data bits sent least significant first, and at least one stop
/// bit (mark). Samples each bit at the end of its matched-filter window, follows the bit timing
/// on every transition inside a character, and checks the stop bit; a character whose stop bit
/// is space is marked, and the framer looks for the next start bit at once, taking the latest
/// mark-to-space transition if it is recent enough to be one.
class CharacterFramer
{
public:
    struct Frame
    {
        unsigned nCode = 0;
        bool bFramingError = false;
        double dStartSample = 0.0; ///< where the start bit began
        /// How sure each data bit is (0 first): its decided value over the typical one.
        float afMargins[5] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    };

    enum Event
    {
        eNOTHING = 0,
        eBIT = 1,   ///< a start or data bit was decided at this sample
        eFRAME = 2, ///< a character ended at this sample
    };

    /// Without @p bRefineTiming each character is decided on its running timing alone: a
    /// search that scores speeds by broken stop bits wants that, since the refinement finds a
    /// mark stop bit at a wrong speed as well.
    explicit CharacterFramer(double dBitSamples, bool bRefineTiming = true);

    /// Takes the next decision value; returns a combination of Event values.
    int Push(float fValue);
    /// The character that the last eFRAME completed, as first decided (without timing
    /// refinement, the only way to the characters).
    const Frame& LastFrame() const { return m_frame; }
    /// The input ended: the characters still waiting are given out.
    void Finish();
    /// The oldest character given out and not yet taken; false when none is waiting. The
    /// characters framed before the grid of a transmission was confirmed come out once it is,
    /// framed again on it.
    bool TakeFrame(Frame& frame);
    bool HasFrames() const { return !m_ready.empty(); }
    /// True when the last bit decided was mark.
    bool LastBitIsMark() const { return m_bLastBitMark; }
    double BitSamples() const { return m_dBit; }

private:
    void startFrame(double dStart, bool bOnGrid);
    void startOnGridOrCrossing(double dCrossing);
    /// True when a character starts at this sample or has started.
    bool lookForStart(float fValue);
    /// While characters come on their grid: false while the search for a start must wait.
    bool awaitGrid();
    /// True when the value is space at @p dSample or a little either side of it.
    bool isSpaceNear(double dSample) const;
    /// True when the grid held long enough to take no fall off it for a start.
    bool isHeldGrid() const;
    /// True when a start bit where the grid puts it (@p dStart), though not seen as space, may
    /// be one that noise hid: the grid held, and the value there is not clearly mark.
    bool isHiddenStart(double dStart) const;
    /// True when a start bit off the grid is clearly space at its decision point.
    bool isClearStart(float fValue) const;
    double gain() const;
    /// How many refinement steps the timing of the character being framed may move late, and
    /// how far that is (bits), at least the usual range.
    int lateSteps() const;
    double lateRange() const;
    /// Moves the character's timing to where its bits are clearest and decides them; true
    /// when the stop bit is mark.
    bool refineTiming();
    /// The start within the steps either side of @p dStart where the character's bits are
    /// clearest; moving one bit costs @p dStiffness times the typical decided value.
    double clearestStart(double dStart, int nEarlySteps, int nLateSteps, double dStiffness) const;
    /// The character whose start bit begins at @p dStart, with its least sure data bit.
    Frame frameAt(double dStart) const;
    void reframeBeforeGrid();
    struct Waiting
    {
        Frame frame;
        bool bOnGrid = false;
    };
    /// The characters framed going back from @p dAnchor on a grid of @p dPitchBits, down to
    /// @p dEarliest, while they come out whole.
    std::deque<Waiting> framedBack(double dAnchor, double dEarliest, double dPitchBits) const;
    /// Gives out the waiting characters that started before @p dBefore.
    void releaseWaiting(double dBefore);
    void followTransition(double dCrossing);
    int decideBit(float fValue);

    const double m_dNominalBit;
    const bool m_bRefineTiming;
    double m_dBit;
    bool m_bInFrame = false;
    int m_nBitIndex = 0;
    double m_dFrameStart = 0.0;     ///< the start bit's transition, as the timing follows it
    TransitionFinder m_transitions; ///< the crossings and falls of the decision value
    double m_dSearchFrom = -1e18;   ///< a start bit begins after this
    DecisionSwing m_swing;          ///< typical size of the decided values
    CharacterGrid m_grid;           ///< where characters sent back to back start
    bool m_bFrameOnGrid = false;    ///< the character being framed started on the grid
    bool m_bUnseenStart = false;    ///< ...on a grid that held, its start bit hidden by noise
    bool m_bLastBitMark = true;
    Frame m_frame;
    ValueHistory m_history;        ///< the latest values, a whole character and more
    std::deque<Waiting> m_waiting; ///< framed, waiting for the grid to be confirmed
    std::deque<Frame> m_ready;     ///< given out, not yet taken
};

} // namespace fsk
