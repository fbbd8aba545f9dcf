#pragma once

namespace morse {

/// The built-in International Morse alphabet of 53 entries: A-Z, 0-9, punctuation and the two
/// whole words "WARNING" (.-..-) and "ERROR" (eight dots). The one home of this table: the
/// handler's alphabets, the CW demodulator and the CW synthesizer all read it from here.
class InternationalAlphabet
{
public:
    /// One character (or word) and its dots and dashes, both UTF-8 (ASCII in fact).
    struct Entry
    {
        const char* text;
        const char* code;
    };

    /// How many entries Entries() holds.
    static constexpr int ENTRY_COUNT = 53;
    /// The entries in their canonical order: A to Z, 1 to 9, 0, then the punctuation and words.
    static constexpr const Entry* Entries() { return ENTRIES; }
    /// The code of the entry that is the single character @p c alone; nullptr for none.
    static constexpr const char* CodeOf(char c)
    {
        for (int i = 0; c != '\0' && i < ENTRY_COUNT; ++i) {
            if (ENTRIES[i].text[0] == c && ENTRIES[i].text[1] == '\0')
                return ENTRIES[i].code;
        }
        return nullptr;
    }

private:
    static constexpr Entry ENTRIES[ENTRY_COUNT] = {
        {"A", ".-"},
        {"B", "-..."},
        {"C", "-.-."},
        {"D", "-.."},
        {"E", "."},
        {"F", "..-."},
        {"G", "--."},
        {"H", "...."},
        {"I", ".."},
        {"J", ".---"},
        {"K", "-.-"},
        {"L", ".-.."},
        {"M", "--"},
        {"N", "-."},
        {"O", "---"},
        {"P", ".--."},
        {"Q", "--.-"},
        {"R", ".-."},
        {"S", "..."},
        {"T", "-"},
        {"U", "..-"},
        {"V", "...-"},
        {"W", ".--"},
        {"X", "-..-"},
        {"Y", "-.--"},
        {"Z", "--.."},
        {"1", ".----"},
        {"2", "..---"},
        {"3", "...--"},
        {"4", "....-"},
        {"5", "....."},
        {"6", "-...."},
        {"7", "--..."},
        {"8", "---.."},
        {"9", "----."},
        {"0", "-----"},
        {".", ".-.-.-"},
        {",", "--..--"},
        {"/", "-..-."},
        {"+", ".-.-."},
        {"=", "-...-"},
        {"?", "..--.."},
        {"(", "-.--."},
        {")", "-.--.-"},
        {"-", "-....-"},
        {"\"", ".-..-."},
        {"_", "..--.-"},
        {"'", ".----."},
        {":", "---..."},
        {";", "-.-.-."},
        {"$", "...-..-"},
        {"WARNING", ".-..-"},
        {"ERROR", "........"},
    };
};

} // namespace morse
