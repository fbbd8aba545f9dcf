#pragma once

#include "symbolsource.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <memory>
#include <utility>
#include <vector>

class QIODevice;

/// Morse symbol codes written as text, read line by line as they arrive:
///
///   - integers separated by blanks, tabs or commas: the codes themselves;
///   - symbol text: "." dot, "-" dash, "c" end of character, "w" end of word; the end of such
///     a line is an end of line (code 5);
///   - "@t MICROSECONDS": the time (since 1970-01-01 00:00 UTC) of the codes that follow;
///   - "#" starts a comment; empty lines are skipped.
///
/// A line holds either integers or symbol text. A timestamp that no code follows is delivered
/// with the code 2, which carries no symbol.
class TextSymbolSource : public SymbolSource
{
public:
    /// Reads from @p device, which is open for reading.
    explicit TextSymbolSource(std::unique_ptr<QIODevice> device);
    ~TextSymbolSource() override;

    bool next(Symbol& symbol) override;
    QString errorString() const override;
    double progress() const override;

    /// The input format, for help texts.
    static QString formatDescription();

    /// Longest line accepted, in bytes.
    static constexpr int MAX_LINE_LENGTH = 1 << 20;

private:
    /// Parses the next line into m_pending; false at the end of the input or on an error.
    bool readLine();
    bool parseLine(const QByteArray& line);
    void pushCode(int code);
    bool fail(const QString& message);

    std::unique_ptr<QIODevice> m_device;
    std::deque<Symbol> m_pending;
    QByteArray m_line;
    std::vector<std::pair<int, int>> m_tokens; ///< start and length of each token of the line
    bool m_hasTimestamp = false;
    quint64 m_timestampUs = 0;
    int m_lineNumber = 0;
    bool m_finished = false;
    QString m_error;
};
