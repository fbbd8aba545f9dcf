#include "tools/fskdemodulator/charactergrid.h"

#include <algorithm>
#include <cmath>

namespace fsk {

namespace {

/// After this many characters on the grid, a space stop bit is taken for a bit error and the
/// grid kept; each framing error halves the count.
constexpr int TRUSTED_GRID = 3;
/// Each character spacing seen is a vote that fades over some ten characters; without a
/// recent vote there is no grid.
constexpr double VOTE_MEMORY = 0.9;
constexpr double MIN_VOTE = 0.3;

} // namespace

bool CharacterGrid::HasPitch() const
{
    return *std::max_element(m_votes, m_votes + STOP_LENGTHS) >= MIN_VOTE;
}

size_t CharacterGrid::VotedLength() const
{
    return size_t(std::max_element(m_votes, m_votes + STOP_LENGTHS) - m_votes);
}

double CharacterGrid::PitchBits() const
{
    return CHARACTER_BITS[VotedLength()];
}

double CharacterGrid::NextStart(double dBit) const
{
    return m_dPreviousStart + PitchBits() * dBit;
}

void CharacterGrid::StartAt(double dCrossing, double dBit)
{
    m_dSpacingBits = (dCrossing - m_dPreviousStart) / dBit;
}

void CharacterGrid::EndInMark(double dStart, bool bOnGrid)
{
    m_dPreviousStart = dStart;
    voteSpacing();
    m_nOnGrid = bOnGrid ? m_nOnGrid + 1 : 0;
}

bool CharacterGrid::EndInSpace(double dStart)
{
    m_dPreviousStart = dStart;
    // A framing error on a grid that many characters confirmed is a bit error: keep the grid.
    const bool trusted = m_nOnGrid >= TRUSTED_GRID;
    m_nOnGrid = trusted ? m_nOnGrid / 2 : 0;
    return trusted;
}

void CharacterGrid::MoveTo(size_t nLength, double dLastStart)
{
    m_votes[nLength] = m_votes[VotedLength()] + 1.0;
    m_dPreviousStart = dLastStart;
}

void CharacterGrid::voteSpacing()
{
    // Only a character that ended in a mark stop bit tells the spacing: a noise fall taken
    // for a start bit would teach a wrong one.
    for (size_t i = 0; i < STOP_LENGTHS; ++i) {
        m_votes[i] *= VOTE_MEMORY;
        if (std::abs(m_dSpacingBits - CHARACTER_BITS[i]) < WINDOW_BITS)
            m_votes[i] += 1.0;
    }
}

} // namespace fsk
