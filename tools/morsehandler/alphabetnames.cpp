#include "tools/morsehandler/alphabetnames.h"

namespace morse {

const QString AlphabetNames::NONE = QStringLiteral("None");
const QString AlphabetNames::ITA2 = QStringLiteral("ITA2");
const QString AlphabetNames::ASCII = QStringLiteral("ASCII");
const QString AlphabetNames::SEPARATOR = QStringLiteral(" - ");

} // namespace morse
