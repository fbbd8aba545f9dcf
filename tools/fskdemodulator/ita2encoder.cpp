#include "tools/fskdemodulator/ita2encoder.h"

namespace fsk {

bool Ita2Encoder::Encode(const std::string& strText, std::vector<unsigned char>& codes,
                         char& cUnencodable) const
{
    codes.clear();
    codes.push_back(Ita2Alphabet::LETTERS);
    bool figures = false;
    bool afterSpace = false;
    for (const char c : strText) {
        if (Ita2Alphabet::IsInBothCases(c)) {
            codes.push_back(static_cast<unsigned char>(Ita2Alphabet::LetterCode(c)));
            afterSpace = afterSpace || c == ' ';
            continue;
        }
        const int letter = Ita2Alphabet::LetterCode(c);
        const int figure = letter < 0 ? Ita2Alphabet::FigureCode(c, m_figures) : -1;
        if (letter < 0 && figure < 0) {
            cUnencodable = c;
            return false;
        }
        const bool wantFigures = letter < 0;
        if (wantFigures != figures || (wantFigures && afterSpace))
            codes.push_back(wantFigures ? Ita2Alphabet::FIGURES : Ita2Alphabet::LETTERS);
        figures = wantFigures;
        afterSpace = false;
        codes.push_back(static_cast<unsigned char>(wantFigures ? figure : letter));
    }
    return true;
}

} // namespace fsk
