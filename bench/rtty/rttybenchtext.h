#pragma once

#include "tests/support/editdistance.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

/// Texts of the RTTY benches (weather-report-like lines of words and figure groups) and their
/// character error count; the RTTY tests share the latter.
namespace rttybench {

inline std::string randomText(std::mt19937& generator, size_t nCharacters)
{
    static const char* const WORDS[] = {"WX",     "WIND", "TEMP",       "MOSCOW", "PRESSURE", "HPA",
                                        "CLOUDY", "RAIN", "FOG",        "NORTH",  "STATION",  "QTH",
                                        "REPORT", "SNOW", "VISIBILITY", "KM",     "GUSTS",    "DE"};
    std::uniform_int_distribution<size_t> word(0, sizeof(WORDS) / sizeof(WORDS[0]) - 1);
    std::uniform_int_distribution<int> digit(0, 9);
    std::uniform_int_distribution<int> kind(0, 3);
    std::string text;
    while (text.size() < nCharacters) {
        if (!text.empty())
            text += ' ';
        if (kind(generator) == 0) {
            for (int i = 0; i < 5; ++i)
                text += char('0' + digit(generator));
        } else {
            text += WORDS[word(generator)];
        }
    }
    return text;
}

/// Upper case, every run of white space one blank, no blanks at either end.
inline std::string normalized(const std::string& text)
{
    std::string out;
    bool blank = false;
    for (const char c : text) {
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            blank = !out.empty();
            continue;
        }
        if (blank)
            out += ' ';
        blank = false;
        out += char(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
    return out;
}

using support::editDistance;

} // namespace rttybench
