#pragma once

#include <QString>
#include <QtGlobal>

/// Where `morsetool decode` gets its Morse symbol codes: a text file of codes, or a recording
/// run through the CW demodulator. Symbols are pulled one at a time, as soon as each is known.
class SymbolSource
{
public:
    struct Symbol
    {
        int code = 0;
        bool hasTimestamp = false;
        quint64 timestampUs = 0; ///< microseconds since 1970-01-01 00:00 UTC
    };

    virtual ~SymbolSource() = default;
    /// The next symbol; false at the end of the input or on an error (see errorString()).
    virtual bool next(Symbol& symbol) = 0;
    /// Why next() stopped early; empty at a normal end.
    virtual QString errorString() const = 0;
    /// What was found in the input, for a closing note ("tone 700.0 Hz, speed 20.0 WPM");
    /// empty when there is nothing to tell.
    virtual QString summary() const { return QString(); }
    /// What the input promised and did not hold (a recording cut short or corrupt); empty when
    /// it was whole. What was there is decoded all the same.
    virtual QString shortfall() const { return QString(); }
    /// True when the input ended without any signal to decode (a silent recording).
    virtual bool heardNothing() const { return false; }

    // What a recording tells about the signal; 0 (or false) while unknown or for codes.
    /// The tone (Hz).
    virtual double pitchHz() const { return 0.0; }
    /// The speed (words per minute).
    virtual double wordsPerMinute() const { return 0.0; }
    /// Whether snrDb() has an estimate.
    virtual bool hasSnr() const { return false; }
    /// Signal-to-noise estimate of the latest transmission (dB).
    virtual double snrDb() const { return 0.0; }
    /// How much of the input was read, from 0 to 1; negative when not known (a stream).
    virtual double progress() const { return -1.0; }
    /// When the input began (microseconds since 1970 UTC); 0 when its first time is its start.
    virtual quint64 startUs() const { return 0; }
};
