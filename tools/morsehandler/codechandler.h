#pragma once

#include "tools/morsehandler/ialphabethandler.h"
#include "tools/morsehandler/morsehandler_export.h"

#include <QString>
#include <QStringList>

#include <memory>

/// The alphabet handler for decoders that put out raw character codes (5-bit ITA2 or 8-bit
/// ASCII): it translates each code unit of a decoder's text through a codec read from a
/// ".codec", ".ita2.map" or ".ascii.map" file of the alphabets directory, and back.
///
/// The host sets the directory and the decoder, offers AvailableAlphabets(), selects one with
/// SetAlphabet() and passes every text of the decoder through Translate(). Which codecs fit a
/// decoder follows from its base character set, learnt from the decoder modules catalogue when
/// the handler is constructed. Used from one thread at a time.
class MORSEHANDLER_EXPORT CodecHandler : public IAlphabetHandler
{
public:
    /// The base character set of a decoder; letters I, A and B in the decoder modules file.
    enum eBASE_CHARSET : qint32
    {
        eNONE = 0,
        eITA2 = 1,
        eASCII = 2,
        eBOTH = 3,
    };

    /// No codec selected; the decoder charsets are read from the catalogue, reloading its file.
    CodecHandler();
    /// Copies the selection, the codec and the decoder charsets; the catalogue is not read.
    CodecHandler(const CodecHandler& other);
    CodecHandler& operator=(const CodecHandler& other);
    ~CodecHandler() override;

    // Selection
    /// Lists the directory's codec files; the selected codec stays loaded.
    void SetAlphabetsDir(const QString& path) override;
    /// Selects and loads a codec by name ("Base - ITA2", "Base - ASCII", a bare base name that
    /// gets the current decoder's charset word, or "None"); false if no file could be read.
    bool SetAlphabet(const QString& name) override;
    void SetDecoder(const QString& decoder) override;
    QString Alphabet() override;
    /// "None" first, then every base name for the decoder "All", else the full names of the
    /// codecs that fit the current decoder's charset.
    QStringList AvailableAlphabets() override;
    bool TextDirectionRTL() override;

    // Translation
    /// Nothing to forget: translation keeps no shift or other state between calls.
    void ResetInternalState() override;
    /// Decoder codes to display text, one unit per unit; unchanged when no codec is loaded.
    QString Translate(const QString& text) override;
    /// Display text back to decoder codes, one unit per unit; the first code in the order
    /// 0x80..0xFF, 0x00..0x7F that maps to a unit wins.
    QString Backtranslate(const QString& text) override;

    /// The catalogue's charset for @p decoder (exact name), eNONE when it has none.
    virtual eBASE_CHARSET CharsetForDecoder(const QString& decoder);

private:
    bool readCodecFile(const QString& file);
    bool readMapFile(const QString& file);
    QString codecNameToFile(const QString& name);
    QString fileToCodecName(const QString& file);
    QStringList allCodecs();
    QStringList possibleCodecsForDecoder(const QString& decoder);
    bool existsInAlphabetsDir(const QString& file) const;

    class Private; // the codec files, the decoder charsets, the selection and the codec
    std::unique_ptr<Private> d;
};
