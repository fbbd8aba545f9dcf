#pragma once

#include "tools/morsehandler/morsehandler_export.h"

#include <QString>
#include <QStringList>

/// The common interface of the alphabet handlers, which translate a decoder's raw output
/// through an alphabet chosen by name from a directory of alphabet files.
///
/// Host applications are built against this slot order; it must never change.
class MORSEHANDLER_EXPORT IAlphabetHandler
{
public:
    virtual ~IAlphabetHandler();

    /// The directory in which the handler finds its alphabet files from now on.
    virtual void SetAlphabetsDir(const QString& path) = 0;
    /// Selects the alphabet @p name ("None" selects none); whether that succeeded.
    virtual bool SetAlphabet(const QString& name) = 0;
    /// The decoder whose output is translated; a handler may ignore it.
    virtual void SetDecoder(const QString& decoder) = 0;
    /// The name of the selected alphabet.
    virtual QString Alphabet() = 0;
    /// The names that SetAlphabet accepts.
    virtual QStringList AvailableAlphabets() = 0;
    /// Whether the selected alphabet's text runs right to left.
    virtual bool TextDirectionRTL() = 0;
    /// Forgets partial input held between two Translate calls.
    virtual void ResetInternalState() = 0;
    /// Decoder output in, readable text out.
    virtual QString Translate(const QString& text) = 0;
    /// Readable text in, decoder output out, where the handler supports that direction.
    virtual QString Backtranslate(const QString& text) = 0;
};
