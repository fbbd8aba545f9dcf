#include "utf8chunker.h"

#include <gtest/gtest.h>

namespace {

/// What the chunker makes of @p bytes handed over in pieces of @p size bytes.
QString inPieces(const QByteArray& bytes, int size, bool* invalid)
{
    Utf8Chunker chunker;
    QString text;
    for (int at = 0; at < bytes.size(); at += size)
        text += chunker.take(bytes.mid(at, size));
    text += chunker.flush();
    *invalid = chunker.sawInvalidBytes();
    return text;
}

} // namespace

TEST(Utf8Chunker, AnySplitGivesTheTextOfTheWholeInput)
{
    const struct
    {
        QByteArray bytes;
        bool invalid;
    } cases[] = {
        {QByteArray("A\xD0\x90\xE2\x82\xAC\xF0\x9F\x98\x80 \0z", 13), false},
        {"ok\xC3\x28 then \xE2\x82", true},  // a bad continuation and a cut-off character
        {"\x80\x80\x80\x80\xBF", true},      // continuation bytes without a lead
        {"\xF8\x88\x80\x80\x80 five", true}, // a lead byte that no character has
    };
    for (const auto& c : cases) {
        const QString whole = QString::fromUtf8(c.bytes.constData(), c.bytes.size());
        for (int size = 1; size <= c.bytes.size(); ++size) {
            bool invalid = false;
            EXPECT_EQ(inPieces(c.bytes, size, &invalid), whole) << size;
            EXPECT_EQ(invalid, c.invalid) << size;
        }
    }
}
