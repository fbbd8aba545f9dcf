#pragma once

#include <QString>

namespace morse {

/// The IPC suffix of a host identifier: "__SG", its first character, "_IPC" and its last two
/// characters, of which a leading "0" is dropped. "205" gives "__SG2_IPC5", "213" "__SG2_IPC13".
QString ipcSuffix(const QString& id);

} // namespace morse
