#include "tools/morsehandler/simplemorsehandler.h"

#include "testfiles.h"
#include "tools/morsecore/internationalalphabet.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <utility>
#include <vector>

namespace {

/// A handler whose directory holds Intl.mal, the built-in International alphabet as a file.
class MorseAlphabetHandler : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString table;
        for (int i = 0; i < morse::InternationalAlphabet::ENTRY_COUNT; ++i) {
            const auto& entry = morse::InternationalAlphabet::Entries()[i];
            table += QString(entry.text) + '\t' + entry.code + '\n';
        }
        write("Intl.mal", table);
        handler.SetAlphabetsDir(dir.path());
    }
    void write(const QString& name, const QString& content)
    {
        testfiles::writeFile(dir.filePath(name), content.toUtf8());
    }
    QTemporaryDir dir;
    SimpleMorseHandler handler;
};
using AlphabetSelection = MorseAlphabetHandler;
using Translation = MorseAlphabetHandler;

struct CountingResets : SimpleMorseHandler
{
    void ResetInternalState() override { ++resets, SimpleMorseHandler::ResetInternalState(); }
    int resets = 0;
};

} // namespace

TEST_F(AlphabetSelection, NoneOrAMissingAlphabetLetsTextPassThrough)
{
    EXPECT_EQ(handler.Translate(".- "), ".- ") << "a new handler has no alphabet";
    ASSERT_TRUE(handler.SetAlphabet("Intl"));
    EXPECT_TRUE(handler.SetAlphabet("nOnE"));
    EXPECT_EQ(handler.Alphabet(), "None");
    EXPECT_EQ(handler.Translate(".- "), ".- ");

    EXPECT_FALSE(handler.SetAlphabet("Klingon"));
    EXPECT_EQ(handler.Alphabet(), "Klingon");
    EXPECT_EQ(handler.Translate(".- "), ".- ");

    QDir(dir.path()).mkdir("inner");
    handler.SetAlphabetsDir(dir.filePath("inner"));
    EXPECT_FALSE(handler.SetAlphabet("../Intl")) << "a name never leads out of the directory";
}

TEST_F(AlphabetSelection, FilesAreFoundWhateverTheLetterCaseOrSeparators)
{
    write("hebrew.MAL", "@TextDirection RL\nא\t.-\n");
    ASSERT_TRUE(handler.SetAlphabet("Hebrew"));
    EXPECT_EQ(handler.Translate(".- "), "א");
    EXPECT_TRUE(handler.TextDirectionRTL());

    handler.SetAlphabetsDir(QString(dir.path()).replace('/', '\\') + '\\');
    ASSERT_TRUE(handler.SetAlphabet("Intl"));
    EXPECT_FALSE(handler.TextDirectionRTL());
    EXPECT_EQ(handler.Translate(".- "), "A");
    EXPECT_EQ(handler.AvailableAlphabets().size(), 3);
}

TEST_F(AlphabetSelection, ListsNoneThenOneNamePerMalFileInDirectoryOrder)
{
    write("Greek.mal", "Γ\t--.\n");
    write("Greek.extra.mal", "Ж\t--.\n");
    write("notes.txt", "");
    QDir(dir.path()).mkdir("Folder.mal");
    QStringList expected{"None"};
    for (const QString& entry : QDir(dir.path()).entryList(QDir::Files, QDir::Unsorted)) {
        if (entry != "notes.txt")
            expected << entry.left(entry.indexOf('.'));
    }
    EXPECT_EQ(handler.AvailableAlphabets(), expected);
    EXPECT_EQ(expected.count("Greek"), 2);
    ASSERT_TRUE(handler.SetAlphabet("Greek"));
    EXPECT_EQ(handler.Translate("--. "), "Γ") << "Greek means Greek.mal";
}

TEST_F(AlphabetSelection, SelectingStartsTheInputAfreshButAnotherDirectoryDoesNot)
{
    ASSERT_TRUE(handler.SetAlphabet("Intl"));
    EXPECT_EQ(handler.Translate("....- -"), "4");
    ASSERT_TRUE(handler.SetAlphabet("Intl"));
    EXPECT_EQ(handler.Translate(" "), "") << "the waiting dash was forgotten";
    EXPECT_EQ(handler.Translate("- "), "T") << "and so was the digit";
    handler.SetAlphabetsDir(dir.filePath("nowhere"));
    EXPECT_EQ(handler.Translate(".- "), "A");

    CountingResets derived;
    derived.SetAlphabet("None");
    EXPECT_EQ(derived.resets, 1);
}

TEST_F(Translation, InputIsTranslatedAcrossCallsAsItsSeparatorsArrive)
{
    const QString junk(2000, 'x');
    const struct
    {
        const char* name;
        std::vector<std::pair<QString, QString>> calls; ///< input and the text it gives
    } cases[] = {
        {"a character waits for its separator",
         {{".- -...", "A"}, {" ", "B"}, {".-\t-\n", "A T\n"}, {"...---...\t", " "}}},
        // A word end updates the digit too.
        {"a lone dash after a digit is zero", {{"....- ", "4"}, {"- ", "0"}, {"....-\t- ", "4 0"}}},
        // A marker may be split across calls; the blanks inside one end the wait, and the dots
        // before it are lost.
        {"timing errors are dropped and the dots around them join",
         {{"..[PAUSE TO SHORT]. ", "S"},
          {"[PAUSE", ""},
          {" TO SHORT]- ", "T"},
          {"..[PAUSE TO SHORT]", ""},
          {". ", "E"}}},
        {"text that is no marker is dropped a character at a time",
         {{"x.-[UNKNOWN]. ", "R"}, {"Ä\t...", " "}, {" ", "S"}}},
        {"symbols that never end a character are cut to the newest",
         {{".-" + junk, ""}, {" ", ""}, {junk + ".-", ""}, {" ", "A"}}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(handler.SetAlphabet("Intl")); // starts the input afresh
        for (const auto& [input, text] : c.calls)
            EXPECT_EQ(handler.Translate(input), text)
                << c.name << ": " << qPrintable(input.left(20));
    }
    handler.Translate("....- ");
    handler.ResetInternalState();
    EXPECT_EQ(handler.Translate("- "), "T") << "a reset forgets the digit";
}

TEST_F(Translation, CopiesAndMovesCarryOnFromTheOriginalWhichAMoveLeavesAfresh)
{
    ASSERT_TRUE(handler.SetAlphabet("Intl"));
    EXPECT_EQ(handler.Translate("....- .-"), "4");
    SimpleMorseHandler copy(handler);
    SimpleMorseHandler assigned;
    assigned = handler;
    for (SimpleMorseHandler* other : {&copy, &assigned}) {
        EXPECT_EQ(other->Alphabet(), "Intl");
        EXPECT_EQ(other->Translate(" "), "A") << "the pending dot and dash came along";
    }
    ASSERT_TRUE(copy.SetAlphabet("None"));
    SimpleMorseHandler constructed(std::move(handler));
    EXPECT_EQ(constructed.Translate(" "), "A") << "the original kept its own alphabet and input";
    constructed.Translate(".-");
    SimpleMorseHandler moved;
    moved = std::move(constructed);
    EXPECT_EQ(moved.Alphabet(), "Intl");
    EXPECT_EQ(moved.Translate(" "), "A");
    for (SimpleMorseHandler* left : {&handler, &constructed}) {
        EXPECT_EQ(left->Alphabet(), "None");
        EXPECT_EQ(left->Translate(".- "), ".- ") << "no alphabet: text passes through";
    }
}
