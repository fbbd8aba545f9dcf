#include "tools/morsehandler/saveloss.h"

#include <QDateTime>

#include <algorithm>

namespace morse {

namespace {

QDateTime utcTime(quint64 u64Us)
{
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(u64Us / 1000u), Qt::UTC);
}

} // namespace

void SaveLoss::add(qint64 nLost, quint64 u64NowUs)
{
    if (nLost <= 0)
        return;
    nCharacters += nLost;
    if (u64NowUs == NO_TIME)
        return;
    if (u64FirstUs == NO_TIME)
        u64FirstUs = u64NowUs;
    u64LastUs = u64NowUs;
}

void SaveLoss::merge(const SaveLoss& other)
{
    nCharacters += other.nCharacters;
    if (other.u64FirstUs != NO_TIME)
        u64FirstUs =
            u64FirstUs == NO_TIME ? other.u64FirstUs : std::min(u64FirstUs, other.u64FirstUs);
    if (other.u64LastUs != NO_TIME)
        u64LastUs = u64LastUs == NO_TIME ? other.u64LastUs : std::max(u64LastUs, other.u64LastUs);
}

QString SaveLoss::describe() const
{
    QString strText = QStringLiteral("%1 characters").arg(nCharacters);
    if (u64FirstUs != NO_TIME)
        strText += QStringLiteral(", %1 to %2 UTC")
                       .arg(utcTime(u64FirstUs).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")),
                            utcTime(u64LastUs).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")));
    return strText;
}

QString SaveLoss::marker() const
{
    return QStringLiteral("[LOST %1]").arg(describe().toUpper());
}

} // namespace morse
