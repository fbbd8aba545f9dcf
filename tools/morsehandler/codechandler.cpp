#include "tools/morsehandler/codechandler.h"

#include "shared/source/decodermoduelscenter.h"
#include "tools/morsehandler/alphabetnames.h"
#include "tools/morsehandler/basecharset.h"
#include "tools/morsehandler/codecfilereader.h"
#include "tools/morsehandler/filelocator.h"
#include "tools/morsehandler/mapfilereader.h"

#include <vector>

using morse::AlphabetNames;

namespace {

const QString CODEC_SUFFIX = QStringLiteral(".codec");
const QString ITA2_MAP_SUFFIX = QStringLiteral(".ita2.map");
const QString ASCII_MAP_SUFFIX = QStringLiteral(".ascii.map");
const QString ALL_DECODERS = QStringLiteral("All");

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

CodecHandler::CodecHandler()
    : m_dirAlphabets(QString()), m_strAlphabet(AlphabetNames::NONE), m_bRightToLeft(false)
{
    initDecoderCharsets();
}

CodecHandler::CodecHandler(const CodecHandler& other) = default;

CodecHandler& CodecHandler::operator=(const CodecHandler& other) = default;

CodecHandler::~CodecHandler() = default;

void CodecHandler::initDecoderCharsets()
{
    std::vector<LanternIT::DecoderModule> modules;
    LanternIT::DecoderModulesCenter::Instance(QString())->Modules(modules, true);
    for (const LanternIT::DecoderModule& module : modules)
        m_mapDecoderCharsets.insert(
            module.strName,
            static_cast<eBASE_CHARSET>(morse::baseCharsetFromLetter(module.cCharset)));
}

void CodecHandler::SetAlphabetsDir(const QString& path)
{
    m_mapCodecFiles.clear();
    m_dirAlphabets.setPath(path);
    const QStringList files = m_dirAlphabets.entryList(QDir::Files, QDir::NoSort);
    for (const QString& file : files) {
        if (file.endsWith(ITA2_MAP_SUFFIX, Qt::CaseInsensitive))
            m_mapCodecFiles[eITA2].append(file);
        if (file.endsWith(CODEC_SUFFIX, Qt::CaseInsensitive))
            m_mapCodecFiles[eITA2].append(file);
        if (file.endsWith(ASCII_MAP_SUFFIX, Qt::CaseInsensitive))
            m_mapCodecFiles[eASCII].append(file);
    }
}

bool CodecHandler::SetAlphabet(const QString& name)
{
    m_strAlphabet = name;
    m_bRightToLeft = false;
    m_mapCodec.clear();
    m_flatCodec.Clear();

    if (name.compare(AlphabetNames::NONE, Qt::CaseInsensitive) == 0) {
        m_strAlphabet = AlphabetNames::NONE;
        return true;
    }
    if (!name.contains(AlphabetNames::SEPARATOR) && m_mapDecoderCharsets.contains(m_strDecoder)) {
        switch (m_mapDecoderCharsets.value(m_strDecoder)) {
        case eASCII:
        case eBOTH:
            m_strAlphabet = name + AlphabetNames::SEPARATOR + AlphabetNames::ASCII;
            break;
        case eITA2:
            m_strAlphabet = name + AlphabetNames::SEPARATOR + AlphabetNames::ITA2;
            break;
        case eNONE:
            break;
        }
    }

    const QString file = codecNameToFile(m_strAlphabet);
    bool loaded = false;
    if (file.endsWith(QLatin1String(".map")))
        loaded = readMapFile(file);
    else if (file.endsWith(CODEC_SUFFIX))
        loaded = readCodecFile(file);
    m_flatCodec.Assign(m_mapCodec);
    return loaded;
}

void CodecHandler::SetDecoder(const QString& decoder)
{
    m_strDecoder = decoder;
}

QString CodecHandler::Alphabet()
{
    return m_strAlphabet;
}

QStringList CodecHandler::AvailableAlphabets()
{
    if (m_strDecoder.compare(ALL_DECODERS, Qt::CaseInsensitive) == 0)
        return allCodecs();
    return possibleCodecsForDecoder(m_strDecoder);
}

bool CodecHandler::TextDirectionRTL()
{
    return m_bRightToLeft;
}

void CodecHandler::ResetInternalState() {}

QString CodecHandler::Translate(const QString& text)
{
    return m_flatCodec.Translate(text);
}

QString CodecHandler::Backtranslate(const QString& text)
{
    return m_flatCodec.Backtranslate(text);
}

CodecHandler::eBASE_CHARSET CodecHandler::CharsetForDecoder(const QString& decoder)
{
    return m_mapDecoderCharsets.value(decoder, eNONE);
}

bool CodecHandler::readCodecFile(const QString& file)
{
    // The file system of the host ignores letter case; find the stored name the same way.
    const QString path = morse::FileLocator::findInDirectory(m_dirAlphabets, file);
    return morse::CodecFileReader::Read(
        path.isEmpty() ? m_dirAlphabets.absoluteFilePath(file) : path, m_mapCodec, m_bRightToLeft);
}

bool CodecHandler::readMapFile(const QString& file)
{
    const QString path = morse::FileLocator::findInDirectory(m_dirAlphabets, file);
    return morse::MapFileReader::Read(path.isEmpty() ? m_dirAlphabets.absoluteFilePath(file) : path,
                                      m_mapCodec, m_bRightToLeft);
}

bool CodecHandler::existsInAlphabetsDir(const QString& file) const
{
    return !morse::FileLocator::findInDirectory(m_dirAlphabets, file).isEmpty();
}

QString CodecHandler::codecNameToFile(const QString& name)
{
    if (!name.contains(AlphabetNames::SEPARATOR))
        return QString();
    const QString base = name.section(AlphabetNames::SEPARATOR, 0, 0);
    const QString charset = name.section(AlphabetNames::SEPARATOR, 1, 1);

    const QString mapFile = QStringLiteral("%1.%2.map").arg(base, charset);
    if (existsInAlphabetsDir(mapFile))
        return mapFile;
    if (charset == AlphabetNames::ITA2) {
        const QString codecFile = base + CODEC_SUFFIX;
        if (existsInAlphabetsDir(codecFile))
            return codecFile;
    }
    return QString();
}

QString CodecHandler::fileToCodecName(const QString& file)
{
    QString charset;
    if (file.endsWith(CODEC_SUFFIX, Qt::CaseInsensitive) ||
        file.endsWith(ITA2_MAP_SUFFIX, Qt::CaseInsensitive))
        charset = AlphabetNames::ITA2;
    else if (file.endsWith(ASCII_MAP_SUFFIX, Qt::CaseInsensitive))
        charset = AlphabetNames::ASCII;
    else
        return QString();
    return file.section(QLatin1Char('.'), 0, 0) + AlphabetNames::SEPARATOR + charset;
}

QStringList CodecHandler::allCodecs()
{
    QStringList bases;
    for (int charset : {int(eITA2), int(eASCII)}) {
        for (const QString& file : m_mapCodecFiles.value(charset))
            appendUnlessPresent(bases,
                                fileToCodecName(file).section(AlphabetNames::SEPARATOR, 0, 0));
    }
    return offeredList(bases);
}

QStringList CodecHandler::possibleCodecsForDecoder(const QString& decoder)
{
    QStringList names;
    if (m_mapDecoderCharsets.contains(decoder)) {
        const eBASE_CHARSET charset = m_mapDecoderCharsets.value(decoder);
        if (charset == eITA2 || charset == eBOTH) {
            for (const QString& file : m_mapCodecFiles.value(eITA2))
                appendUnlessPresent(names, fileToCodecName(file));
        }
        if (charset == eASCII || charset == eBOTH) {
            for (const QString& file : m_mapCodecFiles.value(eASCII))
                appendUnlessPresent(names, fileToCodecName(file));
        }
    }
    return offeredList(names);
}
