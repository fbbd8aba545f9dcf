#include "cwidealreader.h"

#include "tools/cwdemodulator/cwsynthesizer.h"
#include "tools/cwdemodulator/gaussiannoise.h"
#include "tools/morsecore/internationalalphabet.h"
#include "tools/morsedsp/dspconstants.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

namespace cwbench {

namespace {

constexpr double NOISE_REFERENCE_HZ = 2500.0;
constexpr int CHARACTER_GAP_UNITS = 3;
constexpr int WORD_GAP_UNITS = 7;

/// One entry of the alphabet as the units its marks cover, from its first unit.
struct Shape
{
    QString text;
    std::vector<std::pair<int, int>> marks; ///< [first, past the last) unit of each mark
    int units = 0;                          ///< its marks and the gaps between them
};

std::vector<Shape> alphabetShapes()
{
    std::vector<Shape> shapes;
    const morse::InternationalAlphabet::Entry* entries = morse::InternationalAlphabet::Entries();
    for (int i = 0; i < morse::InternationalAlphabet::ENTRY_COUNT; ++i) {
        Shape shape;
        shape.text = QString::fromLatin1(entries[i].text);
        for (const char* element = entries[i].code; *element != '\0'; ++element) {
            if (shape.units > 0)
                ++shape.units;
            const int length = *element == '-' ? 3 : 1;
            shape.marks.emplace_back(shape.units, shape.units + length);
            shape.units += length;
        }
        shapes.push_back(shape);
    }
    return shapes;
}

} // namespace

CwIdealReader::CwIdealReader(const Settings& settings) : m_settings(settings) {}

QString CwIdealReader::Read(const QString& strText) const
{
    const std::vector<bool> keyed = keyedUnits(strText);
    return keyed.empty() ? QString() : likeliestText(unitEvidence(keyed));
}

std::vector<bool> CwIdealReader::keyedUnits(const QString& strText)
{
    QString error;
    std::vector<bool> keyed;
    for (const int units : cw::CwSynthesizer::KeyingUnits(strText, {}, error)) {
        // The pause between two lines is read as a word gap: the reader reads one line.
        const int length = units == 0 ? WORD_GAP_UNITS : std::abs(units);
        keyed.insert(keyed.end(), size_t(length), units > 0);
    }
    if (!keyed.empty())
        keyed.insert(keyed.end(), WORD_GAP_UNITS, false);
    return keyed;
}

std::vector<double> CwIdealReader::unitEvidence(const std::vector<bool>& keyed) const
{
    // In units of the noise's deviation at the matched filter's output, a key-down unit at the
    // fade's peak stands at sqrt(2 E / N0), E the tone's energy over the unit. The fade is the
    // synthesizer's, at its peak where the recording starts.
    const double unitSec = 1.2 / std::max(1.0, m_settings.dWpm);
    const double snr = std::pow(10.0, m_settings.dSnrDb / 10.0);
    const double peak = std::sqrt(2.0 * snr * NOISE_REFERENCE_HZ * unitSec);
    const double floor = cw::CwSynthesizer::FadeFloor(m_settings.dQsbDepthDb);
    cw::GaussianNoise noise(m_settings.uSeed);
    std::vector<double> evidence;
    evidence.reserve(keyed.size());
    for (size_t k = 0; k < keyed.size(); ++k) {
        const double seconds = m_settings.dLeadInSec + (double(k) + 0.5) * unitSec;
        const double level =
            peak * cw::CwSynthesizer::FadeGain(floor, dsp::TWO_PI * m_settings.dQsbHz * seconds);
        const double output = (keyed[k] ? level : 0.0) + noise.Next();
        evidence.push_back(output * level - 0.5 * level * level);
    }
    return evidence;
}

QString CwIdealReader::likeliestText(const std::vector<double>& evidence)
{
    static const std::vector<Shape> shapes = alphabetShapes();
    const size_t n = evidence.size();
    std::vector<double> summed(n + 1, 0.0);
    for (size_t k = 0; k < n; ++k)
        summed[k + 1] = summed[k] + evidence[k];

    // best[k]: the most evidence any reading of the first k units sums, ending on a gap.
    struct Step
    {
        size_t from = 0;
        int shape = -1;
        bool wordGap = false;
    };
    std::vector<double> best(n + 1, -std::numeric_limits<double>::infinity());
    std::vector<Step> steps(n + 1);
    best[0] = 0.0;
    for (size_t k = 0; k < n; ++k) {
        if (!std::isfinite(best[k]))
            continue;
        for (size_t s = 0; s < shapes.size(); ++s) {
            if (k + size_t(shapes[s].units + CHARACTER_GAP_UNITS) > n)
                continue;
            double score = best[k];
            for (const auto& [first, end] : shapes[s].marks)
                score += summed[k + size_t(end)] - summed[k + size_t(first)];
            for (const int gap : {CHARACTER_GAP_UNITS, WORD_GAP_UNITS}) {
                const size_t to = k + size_t(shapes[s].units + gap);
                if (to <= n && score > best[to]) {
                    best[to] = score;
                    steps[to] = {k, int(s), gap == WORD_GAP_UNITS};
                }
            }
        }
    }

    QString text;
    for (size_t at = n; at > 0 && steps[at].shape >= 0; at = steps[at].from)
        text.prepend(shapes[size_t(steps[at].shape)].text +
                     (steps[at].wordGap ? QStringLiteral(" ") : QString()));
    return text.trimmed();
}

} // namespace cwbench
