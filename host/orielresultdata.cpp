#include "host/orielresultdata.h"

#include <QDir>
#include <QSaveFile>
#include <QXmlStreamWriter>

namespace OrielResultDataXml {

namespace {

QString isoUtc(const QDateTime& time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzzZ"));
}

void writeBlock(QXmlStreamWriter& xml, const DataBlock& block)
{
    xml.writeStartElement(QStringLiteral("DataBlock"));
    xml.writeAttribute(QStringLiteral("a"), QString::number(block.A()));
    xml.writeAttribute(QStringLiteral("b"), QString::number(block.B()));
    xml.writeAttribute(QStringLiteral("c"), QString::number(block.C()));
    for (const DataBlock::Frame& frame : block.Frames()) {
        xml.writeStartElement(QStringLiteral("Frame"));
        xml.writeAttribute(QStringLiteral("timestamp"), QString::number(frame.timestamp));
        xml.writeCharacters(frame.text);
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

} // namespace

// --- DataBlock ---------------------------------------------------------------------------

DataBlock::DataBlock(int a, int b, int c) : m_nA(a), m_nB(b), m_nC(c) {}

void DataBlock::BeginFrame()
{
    m_vecFrames.append(Frame{});
    m_bFrameOpen = true;
}

void DataBlock::EndFrame()
{
    m_bFrameOpen = false;
}

void DataBlock::SetTimeStamp(quint64 us)
{
    openFrame()->timestamp = us;
}

void DataBlock::AppendData(const QString& text)
{
    openFrame()->text += text;
}

DataBlock::Frame* DataBlock::openFrame()
{
    if (!m_bFrameOpen)
        BeginFrame(); // data outside BeginFrame/EndFrame gets a frame of its own
    return &m_vecFrames.last();
}

// --- Transmission ------------------------------------------------------------------------

Transmission::Transmission() = default;
Transmission::~Transmission() = default;

void Transmission::SetStartTime(const QDateTime& start)
{
    m_dtStart = start;
}

void Transmission::SetStopTime(const QDateTime& stop)
{
    m_dtStop = stop;
}

void Transmission::AddDataBlock(DataBlock* block)
{
    if (block)
        m_vecBlocks.emplace_back(block);
}

// --- OrielResultData ---------------------------------------------------------------------

OrielResultData::OrielResultData() = default;
OrielResultData::~OrielResultData() = default;

void OrielResultData::SetWorkDir(const QString& directory)
{
    m_strWorkDir = directory;
}

void OrielResultData::AddTransmission(Transmission* transmission)
{
    if (transmission)
        m_vecTransmissions.emplace_back(transmission);
}

QByteArray OrielResultData::ToXml() const
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("OrielResultData"));
    for (const auto& transmission : m_vecTransmissions) {
        xml.writeStartElement(QStringLiteral("Transmission"));
        if (transmission->StartTime().isValid())
            xml.writeAttribute(QStringLiteral("start"), isoUtc(transmission->StartTime()));
        if (transmission->StopTime().isValid())
            xml.writeAttribute(QStringLiteral("stop"), isoUtc(transmission->StopTime()));
        for (const auto& block : transmission->DataBlocks())
            writeBlock(xml, *block);
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}

bool OrielResultData::SaveFile(const QString& fileName)
{
    if (fileName.isEmpty())
        return false;
    const QString path =
        m_strWorkDir.isEmpty() ? fileName : QDir(m_strWorkDir).absoluteFilePath(fileName);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray xml = ToXml();
    if (file.write(xml) != xml.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

void OrielResultData::Reset()
{
    m_vecTransmissions.clear();
}

} // namespace OrielResultDataXml
