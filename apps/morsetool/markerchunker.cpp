#include "markerchunker.h"

namespace {

bool isSeparator(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

/// One past the last separator of @p text outside brackets (or anywhere when @p anywhere); 0 when
/// there is none.
int cutPosition(const QString& text, bool anywhere)
{
    int cut = 0;
    bool inBrackets = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('['))
            inBrackets = true;
        else if (c == QLatin1Char(']'))
            inBrackets = false;
        else if (isSeparator(c) && (!inBrackets || anywhere))
            cut = i + 1;
    }
    return cut;
}

} // namespace

QString MarkerChunker::take(const QString& text)
{
    m_strHeld += text;
    int cut = cutPosition(m_strHeld, false);
    if (cut == 0 && m_strHeld.size() > MAX_HELD) {
        cut = cutPosition(m_strHeld, true);
        if (cut == 0)
            cut = m_strHeld.size(); // no separator at all: Translate keeps what it can use
    }
    const QString ready = m_strHeld.left(cut);
    m_strHeld.remove(0, cut);
    return ready;
}

QString MarkerChunker::finish()
{
    QString rest;
    rest.swap(m_strHeld);
    return rest;
}
