#pragma once

#include <QMap>
#include <QString>

namespace morse {

/// Replaces the content of @p map (text to code) with the built-in International alphabet.
void fillInternationalAlphabet(QMap<QString, QString>& map);

} // namespace morse
