#include "tools/morsehandler/ipcsuffix.h"

namespace morse {

QString ipcSuffix(const QString& id)
{
    QString tail = id.right(2);
    if (tail.startsWith(QLatin1Char('0')))
        tail = tail.right(1);
    return QStringLiteral("__SG") + id.left(1) + QStringLiteral("_IPC") + tail;
}

} // namespace morse
