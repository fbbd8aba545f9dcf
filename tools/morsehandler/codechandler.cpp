#include "tools/morsehandler/codechandler.h"

#include "tools/morsehandler/alphabetnames.h"
#include "tools/morsehandler/basecharset.h"
#include "tools/morsehandler/codeccatalogue.h"
#include "tools/morsehandler/codecfilereader.h"
#include "tools/morsehandler/filelocator.h"
#include "tools/morsehandler/flatcodectable.h"
#include "tools/morsehandler/mapfilereader.h"

#include <QDir>
#include <QMap>

using morse::AlphabetNames;
using morse::CodecCatalogue;

namespace {

const QString ALL_DECODERS = QStringLiteral("All");
/// Codec names are cut at the first separator, as this handler always has.
constexpr CodecCatalogue::Cut NAME_CUT = CodecCatalogue::Cut::AtFirstSeparator;

void appendUnlessPresent(QStringList& list, const QString& name)
{
    if (!list.contains(name, Qt::CaseSensitive))
        list.append(name);
}

/// Sorted by UTF-16 code units, with "None" in front.
QStringList offeredList(QStringList names)
{
    names.sort(Qt::CaseSensitive);
    names.prepend(AlphabetNames::NONE);
    return names;
}

} // namespace

class MORSEHANDLER_NO_EXPORT CodecHandler::Private
{
public:
    QMap<int, QStringList> m_mapCodecFiles;            ///< bare file names by charset 1, 2
    QMap<QString, eBASE_CHARSET> m_mapDecoderCharsets; ///< decoder name to its charset
    QDir m_dirAlphabets{QString()};                    ///< where codec files are found
    QString m_strDecoder;                              ///< the current decoder
    QString m_strAlphabet = AlphabetNames::NONE;       ///< the selected codec's name
    QMap<char, ushort> m_mapCodec;                     ///< 8-bit code to UTF-16 unit
    bool m_bRightToLeft = false;                       ///< text direction of the codec
    morse::FlatCodecTable m_flatCodec;                 ///< m_mapCodec, ready to translate
};

CodecHandler::CodecHandler() : d(std::make_unique<Private>())
{
    d->m_mapDecoderCharsets = CodecCatalogue::decoderCharsets();
}

CodecHandler::CodecHandler(const CodecHandler& other)
    : IAlphabetHandler(other), d(std::make_unique<Private>(*other.d))
{
}

CodecHandler& CodecHandler::operator=(const CodecHandler& other)
{
    if (this != &other) {
        IAlphabetHandler::operator=(other);
        *d = *other.d;
    }
    return *this;
}

CodecHandler::~CodecHandler() = default;

void CodecHandler::SetAlphabetsDir(const QString& path)
{
    d->m_mapCodecFiles.clear();
    d->m_dirAlphabets.setPath(path);
    const QStringList files = d->m_dirAlphabets.entryList(QDir::Files, QDir::NoSort);
    for (const QString& file : files) {
        const eBASE_CHARSET eCharset = CodecCatalogue::charsetOfFile(file);
        if (eCharset != eNONE)
            d->m_mapCodecFiles[eCharset].append(file);
    }
}

bool CodecHandler::SetAlphabet(const QString& name)
{
    d->m_strAlphabet = name;
    d->m_bRightToLeft = false;
    d->m_mapCodec.clear();
    d->m_flatCodec.Clear();

    if (name.compare(AlphabetNames::NONE, Qt::CaseInsensitive) == 0) {
        d->m_strAlphabet = AlphabetNames::NONE;
        return true;
    }
    if (!name.contains(AlphabetNames::SEPARATOR) &&
        d->m_mapDecoderCharsets.contains(d->m_strDecoder)) {
        // A bare base name takes the decoder's charset word; a decoder of both reads ASCII.
        const eBASE_CHARSET eCharset = d->m_mapDecoderCharsets.value(d->m_strDecoder);
        const QString strFull =
            CodecCatalogue::fullName(name, eCharset == eBOTH ? eASCII : eCharset);
        if (!strFull.isEmpty())
            d->m_strAlphabet = strFull;
    }

    const QString file = codecNameToFile(d->m_strAlphabet);
    bool loaded = false;
    if (file.endsWith(QLatin1String(".map")))
        loaded = readMapFile(file);
    else if (file.endsWith(QLatin1String(".codec")))
        loaded = readCodecFile(file);
    d->m_flatCodec.Assign(d->m_mapCodec);
    return loaded;
}

void CodecHandler::SetDecoder(const QString& decoder)
{
    d->m_strDecoder = decoder;
}

QString CodecHandler::Alphabet()
{
    return d->m_strAlphabet;
}

QStringList CodecHandler::AvailableAlphabets()
{
    if (d->m_strDecoder.compare(ALL_DECODERS, Qt::CaseInsensitive) == 0)
        return allCodecs();
    return possibleCodecsForDecoder(d->m_strDecoder);
}

bool CodecHandler::TextDirectionRTL()
{
    return d->m_bRightToLeft;
}

void CodecHandler::ResetInternalState() {}

QString CodecHandler::Translate(const QString& text)
{
    return d->m_flatCodec.Translate(text);
}

QString CodecHandler::Backtranslate(const QString& text)
{
    return d->m_flatCodec.Backtranslate(text);
}

CodecHandler::eBASE_CHARSET CodecHandler::CharsetForDecoder(const QString& decoder)
{
    return d->m_mapDecoderCharsets.value(decoder, eNONE);
}

bool CodecHandler::readCodecFile(const QString& file)
{
    // The file system of the host ignores letter case; find the stored name the same way.
    const QString path = morse::FileLocator::findInDirectory(d->m_dirAlphabets, file);
    return morse::CodecFileReader::Read(path.isEmpty() ? d->m_dirAlphabets.absoluteFilePath(file)
                                                       : path,
                                        d->m_mapCodec, d->m_bRightToLeft);
}

bool CodecHandler::readMapFile(const QString& file)
{
    const QString path = morse::FileLocator::findInDirectory(d->m_dirAlphabets, file);
    return morse::MapFileReader::Read(path.isEmpty() ? d->m_dirAlphabets.absoluteFilePath(file)
                                                     : path,
                                      d->m_mapCodec, d->m_bRightToLeft);
}

bool CodecHandler::existsInAlphabetsDir(const QString& file) const
{
    return !morse::FileLocator::findInDirectory(d->m_dirAlphabets, file).isEmpty();
}

QString CodecHandler::codecNameToFile(const QString& name)
{
    QString base;
    QString charset;
    if (!CodecCatalogue::cut(name, NAME_CUT, &base, &charset))
        return QString();
    for (const QString& file : CodecCatalogue::filesOf(base, charset)) {
        if (existsInAlphabetsDir(file))
            return file;
    }
    return QString();
}

QString CodecHandler::fileToCodecName(const QString& file)
{
    return CodecCatalogue::nameOfFile(file);
}

QStringList CodecHandler::allCodecs()
{
    QStringList bases;
    for (int charset : {int(eITA2), int(eASCII)}) {
        for (const QString& file : d->m_mapCodecFiles.value(charset))
            appendUnlessPresent(bases,
                                fileToCodecName(file).section(AlphabetNames::SEPARATOR, 0, 0));
    }
    return offeredList(bases);
}

QStringList CodecHandler::possibleCodecsForDecoder(const QString& decoder)
{
    QStringList names;
    if (d->m_mapDecoderCharsets.contains(decoder)) {
        const eBASE_CHARSET charset = d->m_mapDecoderCharsets.value(decoder);
        if (charset == eITA2 || charset == eBOTH) {
            for (const QString& file : d->m_mapCodecFiles.value(eITA2))
                appendUnlessPresent(names, fileToCodecName(file));
        }
        if (charset == eASCII || charset == eBOTH) {
            for (const QString& file : d->m_mapCodecFiles.value(eASCII))
                appendUnlessPresent(names, fileToCodecName(file));
        }
    }
    return offeredList(names);
}
