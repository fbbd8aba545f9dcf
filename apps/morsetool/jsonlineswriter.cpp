#include "jsonlineswriter.h"

#include "symbolsource.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

JsonLinesWriter::JsonLinesWriter(FILE* out, const QString& strInput, const QString& strAlphabet,
                                 const SymbolSource& source, bool bFlushEachLine)
    : m_pOut(out), m_strInput(strInput), m_strAlphabet(strAlphabet), m_source(source),
      m_bFlushEachLine(bFlushEachLine)
{
}

void JsonLinesWriter::symbol(bool bHasTimestamp, quint64 u64TimestampUs)
{
    if (!bHasTimestamp)
        return;
    if (!m_bHaveOrigin) {
        m_bHaveOrigin = true;
        m_u64OriginUs = m_source.startUs() != 0 ? m_source.startUs() : u64TimestampUs;
    }
    if (!m_bHaveStart) {
        m_bHaveStart = true;
        m_u64StartUs = u64TimestampUs;
    }
    m_bHaveEnd = true;
    m_u64EndUs = u64TimestampUs;
}

void JsonLinesWriter::text(const QString& strUnit)
{
    const int lineEnd = strUnit.indexOf(QLatin1Char('\n'));
    if (lineEnd < 0) {
        m_strLine += strUnit;
        return;
    }
    m_strLine += strUnit.left(lineEnd);
    writeLine();
}

void JsonLinesWriter::finish()
{
    writeLine();
}

void JsonLinesWriter::writeLine()
{
    const QString text = m_strLine.trimmed();
    m_strLine.clear();
    if (text.isEmpty())
        return;
    QJsonObject object;
    object.insert(QStringLiteral("input"), m_strInput);
    object.insert(QStringLiteral("line"), ++m_nLine);
    const auto time = [](quint64 us) {
        return QDateTime::fromMSecsSinceEpoch(qint64(us / 1000), Qt::UTC)
            .toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzzZ"));
    };
    const auto position = [this](quint64 us) { return double(qint64(us - m_u64OriginUs)) / 1e6; };
    object.insert(QStringLiteral("start"),
                  m_bHaveStart ? QJsonValue(time(m_u64StartUs)) : QJsonValue());
    object.insert(QStringLiteral("end"), m_bHaveEnd ? QJsonValue(time(m_u64EndUs)) : QJsonValue());
    object.insert(QStringLiteral("start_s"),
                  m_bHaveStart ? QJsonValue(position(m_u64StartUs)) : QJsonValue());
    object.insert(QStringLiteral("end_s"),
                  m_bHaveEnd ? QJsonValue(position(m_u64EndUs)) : QJsonValue());
    const auto tenths = [](double value) { return std::round(value * 10.0) / 10.0; };
    const auto known = [&](double value) {
        return value > 0.0 ? QJsonValue(tenths(value)) : QJsonValue();
    };
    object.insert(QStringLiteral("pitch_hz"), known(m_source.pitchHz()));
    object.insert(QStringLiteral("wpm"), known(m_source.wordsPerMinute()));
    object.insert(QStringLiteral("snr_db"),
                  m_source.hasSnr() ? QJsonValue(tenths(m_source.snrDb())) : QJsonValue());
    object.insert(QStringLiteral("alphabet"), m_strAlphabet);
    object.insert(QStringLiteral("text"), text);
    const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(json.constData(), 1, size_t(json.size()), m_pOut);
    if (m_bFlushEachLine)
        std::fflush(m_pOut);
    m_bHaveStart = false;
    m_bHaveEnd = false;
}
