#include "tools/morsehandler/internationalalphabetmap.h"

#include "tools/morsecore/internationalalphabet.h"

namespace morse {

void fillInternationalAlphabet(QMap<QString, QString>& map)
{
    map.clear();
    const InternationalAlphabet::Entry* entries = InternationalAlphabet::Entries();
    for (int i = 0; i < InternationalAlphabet::ENTRY_COUNT; ++i)
        map.insert(QString::fromLatin1(entries[i].text), QString::fromLatin1(entries[i].code));
}

} // namespace morse
