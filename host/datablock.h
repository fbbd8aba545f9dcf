#pragma once

#include "host/morsehost_export.h"

#include <QString>
#include <QVector>

namespace OrielResultDataXml {

/// A block of time-stamped text frames inside a transmission.
class MORSEHOST_EXPORT DataBlock
{
public:
    /// One piece of text and when it was received.
    struct Frame
    {
        quint64 timestamp = 0; ///< microseconds since 1970-01-01 00:00 UTC
        QString text;          ///< kept exactly, blanks and line feeds included
    };

    /// The three numbers are written as the block's attributes a, b and c.
    DataBlock(int a, int b, int c);

    /// Opens a new frame; SetTimeStamp and AppendData fill it until EndFrame.
    void BeginFrame();
    void EndFrame();
    /// The open frame's time, in microseconds since 1970-01-01 00:00 UTC.
    void SetTimeStamp(quint64 us);
    /// Appends @p text to the open frame.
    void AppendData(const QString& text);

    int A() const { return m_nA; }
    int B() const { return m_nB; }
    int C() const { return m_nC; }
    const QVector<Frame>& Frames() const { return m_vecFrames; }
    /// Drops every frame (for a report that could not be saved and must not grow further).
    void DropFrames()
    {
        m_vecFrames.clear();
        m_bFrameOpen = false;
    }

private:
    Frame* openFrame();

    int m_nA, m_nB, m_nC;
    QVector<Frame> m_vecFrames;
    bool m_bFrameOpen = false;
};

} // namespace OrielResultDataXml
