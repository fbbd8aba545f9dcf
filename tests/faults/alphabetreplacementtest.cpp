// An alphabet file rewritten, replaced or deleted while a handler uses it: the alphabet that was
// loaded stays in effect until it is selected again, and selecting it again reads the file as
// it is now.

#include "../morse/receptionfixture.h"

#include "tools/morsehandler/simplemorsehandler.h"

#include <QSaveFile>

using testfiles::writeFile;

namespace {

/// Writes @p content to @p path the way an editor saves: a new file renamed over the old one.
void replaceFile(const QString& path, const QByteArray& content)
{
    QSaveFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    ASSERT_TRUE(file.commit());
}

} // namespace

class AlphabetReplacedUnderMorseHandler : public ReceptionTest
{
protected:
    void SetUp() override
    {
        ReceptionTest::SetUp();
        alphabetFile = alphabets.filePath(QStringLiteral("Field.mal"));
        writeFile(alphabetFile, "X\t.-\n");
        bindAlphabets(alphabets.path(), {"Field"})->Select(QStringLiteral("Field"), nullptr);
        rtl = find<values::Value<bool>>(QStringLiteral("/Morse/RTL"));
        ASSERT_TRUE(handler->ChangeAlphabet());
    }
    /// Receives the dot-dash of A and says what it decoded to.
    QString receiveA()
    {
        send({0, 1, 3});
        return recorder->units.isEmpty() ? QString() : recorder->units.last();
    }

    QTemporaryDir alphabets;
    QString alphabetFile;
    values::Value<bool>* rtl = nullptr;
};

TEST_F(AlphabetReplacedUnderMorseHandler, RewrittenOrRenamedOverFileCountsFromTheNextSelection)
{
    ASSERT_EQ(receiveA(), "X");
    writeFile(alphabetFile, "@TextDirection RL\nY\t.-\n");
    EXPECT_EQ(receiveA(), "X");
    EXPECT_FALSE(rtl->GetValue());
    EXPECT_TRUE(handler->ChangeAlphabet());
    EXPECT_EQ(receiveA(), "Y");
    EXPECT_TRUE(rtl->GetValue());

    replaceFile(alphabetFile, "Z\t.-\n");
    EXPECT_EQ(receiveA(), "Y");
    EXPECT_TRUE(handler->ChangeAlphabet());
    EXPECT_EQ(receiveA(), "Z");
    EXPECT_FALSE(rtl->GetValue());
}

TEST_F(AlphabetReplacedUnderMorseHandler, DeletedFileKeepsTheLoadedAlphabetUntilReselected)
{
    ASSERT_TRUE(QFile::remove(alphabetFile));
    EXPECT_EQ(receiveA(), "X");
    EXPECT_EQ(handler->TranslateText(false, false, 0), QStringLiteral("X"));

    EXPECT_FALSE(handler->ChangeAlphabet()); // falls back on the built-in alphabet
    EXPECT_EQ(receiveA(), "A");
    // The whole reception reads in the alphabet now loaded.
    EXPECT_EQ(handler->TranslateText(false, false, 0), QStringLiteral("AA"));
}

class AlphabetReplacedUnderSimpleMorseHandler : public ::testing::Test
{
protected:
    void SetUp() override
    {
        alphabetFile = alphabets.filePath(QStringLiteral("Field.mal"));
        writeFile(alphabetFile, "X\t.-\nQ\t--.-\n");
        handler.SetAlphabetsDir(alphabets.path());
        ASSERT_TRUE(handler.SetAlphabet(QStringLiteral("Field")));
    }

    QTemporaryDir alphabets;
    QString alphabetFile;
    SimpleMorseHandler handler;
};

TEST_F(AlphabetReplacedUnderSimpleMorseHandler, ReplacedFileCountsFromTheNextSelection)
{
    EXPECT_EQ(handler.Translate(QStringLiteral(".- --")), QStringLiteral("X"));
    replaceFile(alphabetFile, "@TextDirection RL\nY\t.-\n");
    // The character begun before the replacement ends in the old alphabet too.
    EXPECT_EQ(handler.Translate(QStringLiteral(".- .- ")), QStringLiteral("QX"));
    EXPECT_FALSE(handler.TextDirectionRTL());

    EXPECT_TRUE(handler.SetAlphabet(QStringLiteral("Field")));
    EXPECT_EQ(handler.Translate(QStringLiteral(".- ")), QStringLiteral("Y"));
    EXPECT_TRUE(handler.TextDirectionRTL());
}

TEST_F(AlphabetReplacedUnderSimpleMorseHandler, DeletedFileKeepsTheLoadedAlphabetUntilReselected)
{
    ASSERT_TRUE(QFile::remove(alphabetFile));
    EXPECT_EQ(handler.Translate(QStringLiteral(".- ")), QStringLiteral("X"));
    EXPECT_EQ(handler.AvailableAlphabets(), QStringList({"None"}));

    EXPECT_FALSE(handler.SetAlphabet(QStringLiteral("Field")));
    EXPECT_EQ(handler.Translate(QStringLiteral(".- ")), QStringLiteral(".- "))
        << "passes unchanged";

    writeFile(alphabetFile, "W\t.-\n");
    EXPECT_TRUE(handler.SetAlphabet(QStringLiteral("Field")));
    EXPECT_EQ(handler.Translate(QStringLiteral(".- ")), QStringLiteral("W"));
}
