#pragma once

#include "decodehost.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>

/// One MorseHandler per signal of the skimmer, each on its own subtree of the value tree
/// (/Skimmer/<channel>/Symbol, .../Text, .../Frequency, ...), with its own text, session
/// files and report entries. A channel's host is made when its signal is found and taken
/// down, values and all, when the signal ends. The text comes back as lines: each signal
/// line as it ends (a line end of the handler, or the signal's end).
class SkimChannelHosts
{
public:
    struct Line
    {
        int nChannel = 0;
        int nLine = 0;          ///< counts the channel's lines from 1
        double dStartSec = 0.0; ///< first symbol, seconds from the recording's start
        double dEndSec = 0.0;   ///< last symbol
        double dPitchHz = 0.0;
        double dWpm = 0.0;
        double dSnrDb = 0.0; ///< key-down level over the noise in 2500 Hz
        QString text;
    };

    struct Settings
    {
        DecodeHost::Options host; ///< alphabet, save directory, file notes
        double dDialHz = 0.0;     ///< the receiver's dial: a channel's frequency is dial + pitch
        quint64 u64StartUs = 0;   ///< when the recording began (microseconds since 1970 UTC)
        double dSampleRate = 8000.0;
        QString valueRoot = QStringLiteral("/Skimmer/");
    };

    SkimChannelHosts(const Settings& settings, std::function<void(const Line&)> onLine);
    ~SkimChannelHosts();

    /// A signal was found at @p dPitchHz: binds a handler to it; false with @p strError when
    /// the handler cannot start.
    bool open(int nChannel, double dPitchHz, QString& strError);
    /// One symbol code of the channel at input sample @p nSample.
    void feed(int nChannel, int nCode, qint64 nSample, double dPitchHz, double dWpm,
              double dSnrDb = 0.0);
    /// The signal ended: its last line goes out, its session ends, its values go; false with
    /// @p strError when its report could not be written.
    bool close(int nChannel, QString& strError);
    /// Ends every channel still open; false with @p strError when one fails.
    bool closeAll(QString& strError);

    /// The text of the line the channel is in now, for a live display.
    QString currentText(int nChannel) const;
    /// The handler of a channel; null when it is not open.
    DecodeHost* host(int nChannel) const;

private:
    struct Channel
    {
        std::unique_ptr<DecodeHost> host;
        Line line;
        bool bLineStarted = false;
    };

    void received(Channel& channel, const QString& strUnit);
    void endLine(Channel& channel);

    Settings m_settings;
    std::function<void(const Line&)> m_onLine;
    std::map<int, Channel> m_channels;
};
