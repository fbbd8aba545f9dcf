#include "tools/cwdemodulator/wordgapestimate.h"

#include <algorithm>

namespace cw {

namespace {

constexpr double WORD_UNITS = 4.6; ///< silence that ends a word, at least
/// A word gap is this many times a character gap or longer (the geometric middle of 3 and 7).
constexpr double WORD_OVER_CHARACTER = 1.53;
/// The share of recent character-ending gaps shorter than the typical character gap: most
/// of them end characters, not words.
constexpr double CHARACTER_GAP_RANK = 0.4;
/// Character-ending gaps needed before word gaps are judged against them: one alone may be
/// a word gap (a text opening "1 87 6" lost its spaces).
constexpr size_t CHARACTER_GAPS_NEEDED = 2;
constexpr double LONGEST_SPACING_UNITS = 60.0; ///< longer gaps are pauses, not spacing
/// A lone character-ending gap this long is no word gap of ordinary spacing (7 elements and
/// a fifth more for a hand's jitter): Farnsworth spacing, trusted alone.
constexpr double LONE_SPACING_UNITS = 9.0;

} // namespace

void WordGapEstimate::Restart()
{
    m_gaps.Clear();
    m_dWordUnits = WORD_UNITS;
}

void WordGapEstimate::RememberCharacterGap(double dUnits)
{
    // The gap that ends a word is judged against the character gaps actually sent, not three
    // elements.
    if (dUnits > LONGEST_SPACING_UNITS)
        return;
    m_gaps.Push(dUnits);
    Gaps gaps{};
    for (size_t i = 0; i < m_gaps.size(); ++i)
        gaps[i] = m_gaps[i];
    judge(gaps, m_gaps.size());
}

void WordGapEstimate::Preset(const std::vector<double>& units)
{
    // Judged like the transmission's own gaps but not kept: the same gaps arrive again when
    // the held samples are decoded, and counted twice, the word gaps of an opening such as
    // "1 87 6" would pass for character gaps. One alone is not enough: at 8 to 12 WPM it is
    // often a word gap (a space lost at +10 dB), unless it is too long for one: Farnsworth's
    // long gaps may leave no more among the held samples (ebook2cw at 15 WPM, "S P").
    Gaps gaps{};
    size_t count = 0;
    for (double gap : units) {
        if (gap <= LONGEST_SPACING_UNITS && count < gaps.size())
            gaps[count++] = gap;
    }
    if (count == 1 && gaps[0] >= LONE_SPACING_UNITS) {
        m_dWordUnits = std::max(WORD_UNITS, WORD_OVER_CHARACTER * gaps[0]);
        return;
    }
    judge(gaps, count);
}

void WordGapEstimate::judge(Gaps gaps, size_t nCount)
{
    if (nCount < CHARACTER_GAPS_NEEDED)
        return;
    // Among few gaps the rank is the shortest: those that end words are always a share.
    const auto rank = gaps.begin() + std::ptrdiff_t(CHARACTER_GAP_RANK * double(nCount - 1));
    std::nth_element(gaps.begin(), rank, gaps.begin() + std::ptrdiff_t(nCount));
    m_dWordUnits = std::max(WORD_UNITS, WORD_OVER_CHARACTER * *rank);
}

} // namespace cw
