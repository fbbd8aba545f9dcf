#pragma once

#include <QString>

#include <memory>

class CodecHandler;
class MappingDirectory;

/// Turns the text of a teleprinter decoder into display text as an application does: either
/// through a codec (`CodecHandler`), or by publishing it on the data input of a value tree
/// where a `MappingDirectory` republishes it through a map. Without either, text passes.
class RttyTranslator
{
public:
    RttyTranslator();
    ~RttyTranslator();

    /// Chooses the codec @p strCodec for the decoder @p strDecoder; false with @p strError.
    bool UseCodec(const QString& strDecoder, const QString& strCodec, QString& strError);
    /// Binds a mapping directory on the value tree and selects @p strMap for the decoder.
    bool UseMap(const QString& strDecoder, const QString& strMap, QString& strError);
    /// The display text of one piece of decoder text.
    QString Translate(const QString& strText);

private:
    std::unique_ptr<CodecHandler> m_pCodec;
    std::unique_ptr<MappingDirectory> m_pMapping;
};
