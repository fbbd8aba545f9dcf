// Builds a result-data report from the input - transmissions with any start and stop, blocks
// with any numbers, frames with any timestamp and any UTF-16 text - and checks what the report
// writer makes of it: well-formed XML holding every frame, in order, with its timestamp and
// its text (characters that XML cannot carry shown as U+FFFD).

#include "host/orielresultdata.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace OrielResultDataXml;

namespace {

/// Reads the input from the front; past its end, zeros.
class Cursor
{
public:
    Cursor(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool atEnd() const { return m_at >= m_size; }
    uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    quint64 number(int bytes)
    {
        quint64 value = 0;
        for (int i = 0; i < bytes; ++i)
            value = value << 8 | byte();
        return value;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

/// The text XML can carry for @p text: each character XML 1.0 forbids becomes U+FFFD.
QString carried(const QString& text)
{
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        const ushort u = text.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += text.mid(i++, 2);
            continue;
        }
        const bool allowed = (u >= 0x20 && u < 0xD800) || u == 0x09 || u == 0x0A || u == 0x0D ||
                             (u > 0xDFFF && u < 0xFFFE);
        out += allowed ? QChar(u) : QChar(QChar::ReplacementCharacter);
    }
    return out;
}

QDateTime timeFrom(Cursor& in)
{
    const qint64 msecs = qint64(in.number(6)) - (qint64(1) << 47);
    return in.byte() & 1 ? QDateTime() : QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
}

/// The report the input spells, and the frames it holds as "timestamp:text".
QStringList build(Cursor& in, OrielResultData& report)
{
    QStringList frames;
    Transmission* transmission = nullptr;
    DataBlock* block = nullptr;
    bool frameOpen = false; // text goes to the open frame of the newest block
    while (!in.atEnd()) {
        switch (in.byte() % 4) {
        case 0:
            transmission = new Transmission;
            transmission->SetStartTime(timeFrom(in));
            transmission->SetStopTime(timeFrom(in));
            report.AddTransmission(transmission);
            block = nullptr;
            frameOpen = false;
            break;
        case 1:
            if (!transmission)
                break;
            block = new DataBlock(int(in.number(4)), int(in.number(1)) - 128, int(in.number(2)));
            transmission->AddDataBlock(block);
            frameOpen = false;
            break;
        case 2:
            if (!block)
                break;
            block->BeginFrame();
            block->SetTimeStamp(in.number(8));
            frames << QString::number(block->Frames().last().timestamp) + QLatin1Char(':');
            frameOpen = true;
            break;
        default: {
            QString text;
            for (int n = in.byte() % 16; n > 0; --n)
                text += QChar(ushort(in.number(2)));
            if (frameOpen) {
                block->AppendData(text);
                frames.last() += text; // made XML-safe once whole: pairs may span two pieces
            }
            break;
        }
        }
    }
    for (QString& frame : frames)
        frame = carried(frame);
    return frames;
}

/// The frames of @p xml as "timestamp:text"; aborts when it is not well-formed.
QStringList framesOf(const QByteArray& xml)
{
    QStringList frames;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement &&
            reader.name() == QLatin1String("Frame")) {
            const QString timestamp =
                reader.attributes().value(QLatin1String("timestamp")).toString();
            frames << timestamp + QLatin1Char(':') + reader.readElementText();
        }
    }
    if (reader.hasError())
        std::abort();
    return frames;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    Cursor in(data, size);
    OrielResultData report;
    const QStringList frames = build(in, report);
    const QStringList written = framesOf(report.ToXml());
    for (int i = 0; i < std::max(written.size(), frames.size()); ++i) {
        if (written.value(i) != frames.value(i)) {
            std::fprintf(stderr, "frame %d: written %s\n        expected %s\n", i,
                         written.value(i).toUtf8().toPercentEncoding(":").constData(),
                         frames.value(i).toUtf8().toPercentEncoding(":").constData());
            std::abort();
        }
    }
    return 0;
}
