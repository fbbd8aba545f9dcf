#pragma once

#include "decodehostvalues.h"
#include "symbolsource.h"

#include "host/values.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <memory>

class MorseHandler;

/// A small host for one MorseHandler, as the monitoring application would run it: it builds
/// the values the handler binds, feeds symbol codes through the symbol value, prints each
/// published unit of text as it arrives and reports the files the handler writes.
class DecodeHost : public IObserver
{
public:
    struct Options
    {
        QString alphabetsDirectory; ///< where the .mal files are; may be empty
        QString alphabet;           ///< alphabet to select; empty: the built-in one
        QString saveDirectory;      ///< session files and report; empty: nothing is saved
        double frequencyHz = 0;
        bool announceFiles = true; ///< print the name of each file written (to stderr)
        bool flushEachUnit = true; ///< hand each unit of text on at once (live reading)
        /// The subtree of the value tree this host's values live in (ends with "/"); one
        /// host per subtree, so several handlers can run side by side.
        QString valueRoot = QStringLiteral("/MorseTool/");
    };

    DecodeHost(const Options& options, FILE* textOut, FILE* messagesOut);
    ~DecodeHost() override;

    /// Hands each published unit of text to @p listener instead of printing it.
    void setTextListener(std::function<void(const QString&)> listener)
    {
        m_textListener = std::move(listener);
    }
    /// Binds the handler and starts the session; false with @p error when it cannot start.
    bool start(QString& error);
    /// One symbol code (and its time) as the demodulator would publish it.
    void feed(const SymbolSource::Symbol& symbol);
    /// The whole reception translated again through @p alphabet; false with @p error when
    /// there is no such alphabet.
    bool retranslate(const QString& alphabet, QString& text, QString& error);
    /// Saves the report now (when saving), through the trigger the monitoring application
    /// uses, and goes on with a new transmission at the latest time.
    void saveReport();
    /// Stops printing text (standard output has closed); decoding and saving go on.
    void stopPrinting() { m_printing = false; }
    /// Saves the report (when saving) and ends the session; false with @p error when the
    /// report that was due could not be written or saved text was lost on the way.
    bool finish(QString& error);

    /// The names of the alphabets in the alphabets directory.
    QStringList alphabetNames() const;
    /// Whether the alphabets directory has @p name (letter case aside).
    bool hasAlphabet(const QString& name) const;
    MorseHandler& handler() { return *m_handler; }

protected:
    void Update(Observable* subject, TChangeCode code) override;

private:
    bool selectAlphabet(const QString& name, QString& error);
    bool setControls(QString& error);
    void watchValues();
    void bindHandler(bool bSaving);
    void answerTunerSettingsRequest();

    Options m_options;
    FILE* m_textOut;
    FILE* m_messagesOut;
    std::unique_ptr<MorseHandler> m_handler;
    std::function<void(const QString&)> m_textListener;
    bool m_anyTimestamp = false;
    quint64 m_lastTimestampUs = 0;
    bool m_printing = true;
    bool m_rightToLeftNoted = false;

    DecodeHostValues m_values;
};
