#include "skimdisplay.h"

namespace {

constexpr int TEXT_COLUMNS = 56; ///< the end of the current line shown in a row

} // namespace

SkimDisplay::SkimDisplay(FILE* out) : m_pOut(out) {}

void SkimDisplay::line(const QString& strLine)
{
    m_pendingLines.append(strLine);
}

void SkimDisplay::wipe()
{
    // Up to the first row, then clear to the end of the screen.
    if (m_nRows > 0)
        std::fprintf(m_pOut, "\x1b[%dA\r\x1b[J", m_nRows);
    m_nRows = 0;
}

void SkimDisplay::update(const std::vector<cw::CwSkimmer::ChannelState>& channels,
                         const std::function<QString(int)>& text)
{
    wipe();
    for (const QString& line : m_pendingLines)
        std::fprintf(m_pOut, "%s\n", line.toUtf8().constData());
    m_pendingLines.clear();
    for (const cw::CwSkimmer::ChannelState& channel : channels) {
        const QString current = text(channel.nChannel).right(TEXT_COLUMNS);
        std::fprintf(m_pOut, "%8.1f Hz %5.1f WPM %5.1f dB  %s\x1b[K\n", channel.dPitchHz,
                     channel.dWpm, channel.dSnrDb, current.toUtf8().constData());
        ++m_nRows;
    }
    std::fflush(m_pOut);
}

void SkimDisplay::finish()
{
    update({}, [](int) { return QString(); });
}
