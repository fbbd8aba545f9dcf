#pragma once

#include "tools/morsehandler/basecharset.h"
#include "tools/morsehandler/morsehandler_export.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace morse {

/// The naming rules of codec and map files, one home for CodecHandler, MappingDirectory and
/// morsetool: which files hold a codec ("<base>.codec" ITA2, "<base>.ita2.map",
/// "<base>.ascii.map"), the full name "<base> - <charset word>" of each, the preference of a
/// ".map" file over a ".codec" file of the same base, and the charset of each decoder.
class CodecCatalogue
{
public:
    /// Where a full name is cut into base and charset word. CodecHandler cuts at the first
    /// separator, so a chosen name with more separators names a base that no file has and
    /// loads nothing; MappingDirectory cuts at the last, because it lists every file and a base
    /// may itself hold the separator. Each keeps the behaviour its callers rely on.
    enum class Cut
    {
        AtFirstSeparator,
        AtLastSeparator
    };

    /// The charset a codec file's name gives (eNONE when it is no codec file).
    static eBASE_CHARSET charsetOfFile(const QString& strFile);
    /// The base name of a codec file: its name up to the first dot.
    static QString baseOfFile(const QString& strFile);
    /// "<base> - ITA2" or "<base> - ASCII" of a codec file; empty when it is no codec file.
    static QString nameOfFile(const QString& strFile);
    /// "<base> - <word>" for a charset with a word, else empty.
    static QString fullName(const QString& strBase, eBASE_CHARSET eCharset);
    /// Cuts @p strName into base and charset word; false when it has no separator.
    static bool cut(const QString& strName, Cut eCut, QString* pBase, QString* pWord);
    /// The charset a full name's word starts with (eNONE for no separator or another word).
    static eBASE_CHARSET charsetOfName(const QString& strName, Cut eCut);
    /// The files that may hold the codec @p strBase in charset word @p strWord, preferred first:
    /// "<base>.<word>.map", then for ITA2 "<base>.codec".
    static QStringList filesOf(const QString& strBase, const QString& strWord);
    /// Name patterns of the codec files, least preferred first: where a directory holds two
    /// files of the same base and charset, the later pattern's file wins, so an ".ita2.map"
    /// file is used rather than a ".codec" file.
    static QStringList patternsLeastPreferredFirst();
    /// Each decoder's charset, from the decoder modules catalogue (reloading its file).
    static QMap<QString, eBASE_CHARSET> decoderCharsets();
};

} // namespace morse
