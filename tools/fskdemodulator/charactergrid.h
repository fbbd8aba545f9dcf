#pragma once

#include <cstddef>

namespace fsk {

/// The grid of whole characters that text sent back to back lies on. Learns its pitch (7, 7.5 or
/// 8 bits for 1, 1.5 or 2 stop bits) from the spacing of the characters that end in a mark stop
/// bit, and counts the characters framed on it in a row. The CharacterFramer tells it each
/// character's start and end.
class CharacterGrid
{
public:
    /// Lengths of a whole character (bits) with 1, 1.5 and 2 stop bits.
    static constexpr size_t STOP_LENGTHS = 3;
    static constexpr double CHARACTER_BITS[STOP_LENGTHS] = {7.0, 7.5, 8.0};
    /// A start this close to the grid (bits) lies on it; a spacing this close to a character's
    /// length votes for it.
    static constexpr double WINDOW_BITS = 0.4;
    /// After this many characters on the grid, the grid is confirmed.
    static constexpr int CONFIRMED = 3;

    // The grid
    /// False until a recent spacing voted for a pitch.
    bool HasPitch() const;
    /// Which stop length the votes chose, and the pitch (bits) it gives.
    size_t VotedLength() const;
    double PitchBits() const;
    /// Where the grid puts the next start bit, for a bit of @p dBit samples.
    double NextStart(double dBit) const;
    double PreviousStart() const { return m_dPreviousStart; }
    /// Characters framed on the grid in a row.
    int CharactersOnGrid() const { return m_nOnGrid; }
    bool IsConfirmed() const { return m_nOnGrid >= CONFIRMED; }

    // The character being framed
    /// Its start has no spacing to tell (framed again after a framing error).
    void ForgetSpacing() { m_dSpacingBits = 0.0; }
    /// It started on the grid, a pitch after the previous one.
    void StartOnGrid() { m_dSpacingBits = PitchBits(); }
    /// It started at the transition @p dCrossing, for a bit of @p dBit samples.
    void StartAt(double dCrossing, double dBit);
    /// It ended in a mark stop bit; @p bOnGrid: it started on the grid.
    void EndInMark(double dStart, bool bOnGrid);
    /// It ended in a space stop bit; true when the grid holds all the same, as many characters
    /// confirmed it and the space is taken for a bit error.
    bool EndInSpace(double dStart);
    /// No start bit came where the grid put it: the sender paused.
    void Lose() { m_nOnGrid = 0; }

    // Framing again
    /// The characters so far lie on the grid of stop length @p nLength, the last starting at
    /// @p dLastStart: that length takes the lead.
    void MoveTo(size_t nLength, double dLastStart);

private:
    void voteSpacing();

    double m_dPreviousStart = -1e18;                ///< start of the last character framed
    double m_votes[STOP_LENGTHS] = {0.0, 0.0, 0.0}; ///< for each stop length, how often seen
    double m_dSpacingBits = 0.0;                    ///< from the previous start to this one
    int m_nOnGrid = 0;
};

} // namespace fsk
