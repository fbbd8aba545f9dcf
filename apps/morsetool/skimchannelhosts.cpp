#include "skimchannelhosts.h"

#include "symbolsource.h"

#include <algorithm>

SkimChannelHosts::SkimChannelHosts(const Settings& settings,
                                   std::function<void(const Line&)> onLine)
    : m_settings(settings), m_onLine(std::move(onLine))
{
}

SkimChannelHosts::~SkimChannelHosts() = default;

bool SkimChannelHosts::open(int nChannel, double dPitchHz, QString& strError)
{
    if (m_channels.count(nChannel) != 0) {
        strError = QStringLiteral("channel %1 is open already").arg(nChannel);
        return false;
    }
    DecodeHost::Options options = m_settings.host;
    options.frequencyHz = m_settings.dDialHz + dPitchHz;
    options.valueRoot = m_settings.valueRoot + QString::number(nChannel) + QLatin1Char('/');
    Channel& channel = m_channels[nChannel];
    channel.host = std::make_unique<DecodeHost>(options, stdout, stderr);
    channel.line.nChannel = nChannel;
    channel.line.dPitchHz = dPitchHz;
    Channel* pChannel = &channel;
    channel.host->setTextListener(
        [this, pChannel](const QString& unit) { received(*pChannel, unit); });
    if (!channel.host->start(strError)) {
        m_channels.erase(nChannel);
        return false;
    }
    return true;
}

void SkimChannelHosts::feed(int nChannel, int nCode, qint64 nSample, double dPitchHz, double dWpm,
                            double dSnrDb)
{
    auto found = m_channels.find(nChannel);
    if (found == m_channels.end())
        return;
    Channel& channel = found->second;
    const double seconds = double(nSample) / m_settings.dSampleRate;
    if (!channel.bLineStarted) {
        channel.bLineStarted = true;
        channel.line.dStartSec = seconds;
    }
    channel.line.dEndSec = seconds;
    channel.line.dPitchHz = dPitchHz;
    channel.line.dSnrDb = dSnrDb;
    if (dWpm > 0.0)
        channel.line.dWpm = dWpm;
    SymbolSource::Symbol symbol;
    symbol.code = nCode;
    symbol.hasTimestamp = true;
    symbol.timestampUs = m_settings.u64StartUs + quint64(std::max(0.0, seconds) * 1e6);
    channel.host->feed(symbol);
}

void SkimChannelHosts::received(Channel& channel, const QString& strUnit)
{
    const int lineEnd = strUnit.indexOf(QLatin1Char('\n'));
    if (lineEnd < 0) {
        channel.line.text += strUnit;
        return;
    }
    channel.line.text += strUnit.left(lineEnd);
    endLine(channel);
}

void SkimChannelHosts::endLine(Channel& channel)
{
    Line line = channel.line;
    line.text = line.text.trimmed();
    channel.line.text.clear();
    channel.bLineStarted = false;
    if (line.text.isEmpty())
        return;
    ++channel.line.nLine;
    line.nLine = channel.line.nLine;
    m_onLine(line);
}

bool SkimChannelHosts::close(int nChannel, QString& strError)
{
    auto found = m_channels.find(nChannel);
    if (found == m_channels.end())
        return true;
    Channel& channel = found->second;
    const bool finished = channel.host->finish(strError);
    endLine(channel);
    // The host takes its handler off the values before it removes them.
    m_channels.erase(found);
    return finished;
}

bool SkimChannelHosts::closeAll(QString& strError)
{
    bool ok = true;
    while (!m_channels.empty()) {
        QString error;
        if (!close(m_channels.begin()->first, error)) {
            ok = false;
            strError = error;
        }
    }
    return ok;
}

QString SkimChannelHosts::currentText(int nChannel) const
{
    auto found = m_channels.find(nChannel);
    return found == m_channels.end() ? QString() : found->second.line.text;
}

DecodeHost* SkimChannelHosts::host(int nChannel) const
{
    auto found = m_channels.find(nChannel);
    return found == m_channels.end() ? nullptr : found->second.host.get();
}
