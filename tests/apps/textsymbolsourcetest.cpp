#include "textsymbolsource.h"

#include "testfiles.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>

namespace {

/// What the source yields for @p input, in the form of the .expected files: one symbol per
/// line ("CODE" or "CODE @MICROSECONDS"), then "error line N" if it stopped on an error.
QString readAll(const QByteArray& input)
{
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(input);
    buffer->open(QIODevice::ReadOnly);
    TextSymbolSource source(std::move(buffer));
    QString result;
    SymbolSource::Symbol symbol;
    while (source.next(symbol)) {
        result += QString::number(symbol.code);
        if (symbol.hasTimestamp)
            result += QStringLiteral(" @") + QString::number(symbol.timestampUs);
        result += QLatin1Char('\n');
    }
    const QString error = source.errorString();
    if (!error.isEmpty())
        result +=
            QStringLiteral("error ") + error.section(QLatin1Char(':'), 0, 0) + QLatin1Char('\n');
    return result;
}

} // namespace

TEST(TextSymbolInput, EachSampleYieldsItsExpectedSymbols)
{
    const QDir dir(QStringLiteral(MORSE_TEST_DATA_DIR "/symboltext"));
    const QStringList cases = dir.entryList({QStringLiteral("*.txt")}, QDir::Files);
    ASSERT_FALSE(cases.isEmpty());
    for (const QString& name : cases) {
        const QString expected = QString::fromUtf8(testfiles::contentOf(
            dir.filePath(name.left(name.size() - 4) + QStringLiteral(".expected"))));
        EXPECT_EQ(readAll(testfiles::contentOf(dir.filePath(name))), expected) << qPrintable(name);
    }
}

TEST(TextSymbolInput, OverlongLineIsRefusedInsteadOfRead)
{
    const QByteArray line(TextSymbolSource::MAX_LINE_LENGTH + 1, '.');
    EXPECT_EQ(readAll(line + "\n"), QStringLiteral("error line 1\n"));
    EXPECT_EQ(readAll(QByteArray(TextSymbolSource::MAX_LINE_LENGTH, ' ') + "\n3").trimmed(),
              QStringLiteral("3"));
}
