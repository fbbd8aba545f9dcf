#include "rttyoutput.h"

#include "tools/fskdemodulator/fskdemodulator.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

QJsonValue tenths(double dValue)
{
    return std::isfinite(dValue) ? QJsonValue(std::round(dValue * 10.0) / 10.0) : QJsonValue();
}

QString utcTime(quint64 u64Us)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(u64Us / 1000), Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzzZ"));
}

} // namespace

RttyOutput::RttyOutput(FILE* out, const Options& options) : m_pOut(out), m_options(options) {}

void RttyOutput::character(const QString& strText, bool bFramingError, quint64 u64TimeUs,
                           const fsk::FskDemodulator& demodulator)
{
    if (!m_options.bJson) {
        // A teleprinter's carriage return has no place in a text file: the line feed starts
        // the new line.
        if (strText != QLatin1String("\r"))
            write(strText);
        return;
    }
    if (strText == QLatin1String("\n")) {
        writeLine(demodulator);
        return;
    }
    if (!m_bHaveStart) {
        m_bHaveStart = true;
        m_u64StartUs = u64TimeUs;
    }
    m_u64EndUs = u64TimeUs;
    m_nFramingErrors += bFramingError ? 1 : 0;
    if (strText != QLatin1String("\r"))
        m_strLine += strText;
}

void RttyOutput::finish(const fsk::FskDemodulator& demodulator)
{
    if (m_options.bJson)
        writeLine(demodulator);
    else
        write(QStringLiteral("\n"));
    std::fflush(m_pOut);
}

void RttyOutput::writeLine(const fsk::FskDemodulator& demodulator)
{
    const QString text = m_strLine.trimmed();
    const bool haveStart = m_bHaveStart;
    m_strLine.clear();
    m_bHaveStart = false;
    const int framingErrors = m_nFramingErrors;
    m_nFramingErrors = 0;
    if (text.isEmpty())
        return;
    const auto seconds = [this](quint64 u64Us) {
        return double(qint64(u64Us - m_options.u64OriginUs)) / 1e6;
    };
    QJsonObject object;
    object.insert(QStringLiteral("input"), m_options.input);
    object.insert(QStringLiteral("line"), ++m_nLine);
    object.insert(QStringLiteral("start"),
                  haveStart ? QJsonValue(utcTime(m_u64StartUs)) : QJsonValue());
    object.insert(QStringLiteral("end"),
                  haveStart ? QJsonValue(utcTime(m_u64EndUs)) : QJsonValue());
    object.insert(QStringLiteral("start_s"),
                  haveStart ? QJsonValue(seconds(m_u64StartUs)) : QJsonValue());
    object.insert(QStringLiteral("end_s"),
                  haveStart ? QJsonValue(seconds(m_u64EndUs)) : QJsonValue());
    object.insert(QStringLiteral("mark_hz"), tenths(demodulator.MarkHz()));
    object.insert(QStringLiteral("space_hz"), tenths(demodulator.SpaceHz()));
    object.insert(QStringLiteral("baud"), std::round(demodulator.Baud() * 100.0) / 100.0);
    object.insert(QStringLiteral("reversed"), demodulator.IsReversed());
    object.insert(QStringLiteral("snr_db"), tenths(demodulator.SnrDb()));
    object.insert(QStringLiteral("translation"), m_options.translation.isEmpty()
                                                     ? QJsonValue()
                                                     : QJsonValue(m_options.translation));
    object.insert(QStringLiteral("framing_errors"), framingErrors);
    object.insert(QStringLiteral("text"), text);
    write(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) +
          QLatin1Char('\n'));
}

void RttyOutput::write(const QString& strText)
{
    const QByteArray bytes = strText.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_pOut);
}
