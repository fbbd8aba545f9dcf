#include "tools/morsehandler/internationalalphabet.h"

namespace morse {

namespace {

constexpr InternationalAlphabet::Entry ENTRIES[InternationalAlphabet::ENTRY_COUNT] = {
    {"A", ".-"},      {"B", "-..."},        {"C", "-.-."},         {"D", "-.."},    {"E", "."},
    {"F", "..-."},    {"G", "--."},         {"H", "...."},         {"I", ".."},     {"J", ".---"},
    {"K", "-.-"},     {"L", ".-.."},        {"M", "--"},           {"N", "-."},     {"O", "---"},
    {"P", ".--."},    {"Q", "--.-"},        {"R", ".-."},          {"S", "..."},    {"T", "-"},
    {"U", "..-"},     {"V", "...-"},        {"W", ".--"},          {"X", "-..-"},   {"Y", "-.--"},
    {"Z", "--.."},    {"1", ".----"},       {"2", "..---"},        {"3", "...--"},  {"4", "....-"},
    {"5", "....."},   {"6", "-...."},       {"7", "--..."},        {"8", "---.."},  {"9", "----."},
    {"0", "-----"},   {".", ".-.-.-"},      {",", "--..--"},       {"/", "-..-."},  {"+", ".-.-."},
    {"=", "-...-"},   {"?", "..--.."},      {"(", "-.--."},        {")", "-.--.-"}, {"-", "-....-"},
    {"\"", ".-..-."}, {"_", "..--.-"},      {"'", ".----."},       {":", "---..."}, {";", "-.-.-."},
    {"$", "...-..-"}, {"WARNING", ".-..-"}, {"ERROR", "........"},
};

} // namespace

const InternationalAlphabet::Entry* InternationalAlphabet::Entries()
{
    return ENTRIES;
}

void InternationalAlphabet::Fill(QMap<QString, QString>& map)
{
    map.clear();
    for (const Entry& entry : ENTRIES)
        map.insert(QString::fromLatin1(entry.text), QString::fromLatin1(entry.code));
}

} // namespace morse
