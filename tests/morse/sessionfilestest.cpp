#include "receptionfixture.h"

#include <QDir>

namespace {

const QString CODE_1 = QStringLiteral("20240305_070809_1_MO__.txt");
const QString TEXT_1 = QStringLiteral("20240305_070809_1_MO____Default.txt");

QString localClock(quint64 us)
{
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(us / 1000), Qt::UTC)
        .toLocalTime()
        .toString(QStringLiteral("hh:mm:ss.zzz"));
}

} // namespace

class SessionFiles : public ReceptionTest
{
protected:
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files, QDir::Name); }
    QByteArray file(const QString& name) const { return contentOf(dir.filePath(name)); }
    QTemporaryDir dir;
};

TEST_F(SessionFiles, NamesComeFromUtcTimeFrequencyAndAlphabetAndArePublishedWhenOpened)
{
    add<values::ValueNumeric<double>>(QStringLiteral("/Morse/Frequency"))
        ->SetValue(14070000, nullptr);
    handler->SetFrequency_ValuePath(QStringLiteral("/Morse/Frequency"));
    startSaving(dir.path());
    send({0, 1});
    EXPECT_EQ(valueOf(QStringLiteral("/Morse/CodeFile")),
              dir.filePath(QStringLiteral("20240305_070809_1_MO__14_070MHz.txt")));
    EXPECT_TRUE(valueOf(QStringLiteral("/Morse/TextFile")).isEmpty());
    send({3});
    EXPECT_EQ(valueOf(QStringLiteral("/Morse/TextFile")),
              dir.filePath(QStringLiteral("20240305_070809_1_MO__14_070MHz__Default.txt")));
}

TEST_F(SessionFiles, FrequencyPartRoundsInSinglePrecisionSteps)
{
    auto* frequency = add<values::ValueNumeric<double>>(QStringLiteral("/Morse/Frequency"));
    handler->SetFrequency_ValuePath(QStringLiteral("/Morse/Frequency"));
    startSaving(dir.path());
    const struct
    {
        double hz;
        const char* part;
    } cases[] = {{999999, "999_999KHz"}, {1000000, "1000_000KHz"}, {1000001, "1_000MHz"},
                 {500000, "500_000KHz"}, {14070000, "14_070MHz"},  {7030500.4, "7_031MHz"}};
    for (const auto& c : cases) {
        frequency->SetValue(c.hz, nullptr); // starts new files while saving
        send({0});
        EXPECT_EQ(valueOf(QStringLiteral("/Morse/CodeFile")),
                  dir.filePath(QStringLiteral("20240305_070809_1_MO__%1.txt").arg(c.part)));
    }
}

TEST_F(SessionFiles, TakenNamesGetTheNextCounterAndAreLeftAlone)
{
    writeFile(dir.filePath(CODE_1), "old");
    writeFile(dir.filePath(QStringLiteral("20240305_070809_2_MO__.txt")), "older");
    startSaving(dir.path());
    send({0, 1, 3});
    EXPECT_EQ(file(CODE_1), "old");
    EXPECT_EQ(file(QStringLiteral("20240305_070809_3_MO__.txt")), ".- ");
    EXPECT_EQ(file(TEXT_1), "A");
}

TEST_F(SessionFiles, FileThatAppearsAfterItsNameWasChosenIsNotOverwritten)
{
    startSaving(dir.path());
    auto* save = dynamic_cast<values::Value<bool>*>(
        values::Tree::Instance()->FindValue(QStringLiteral("/Morse/Save")));
    save->HasChanged(CHANGE_TRIGGER, nullptr); // chooses both names now, creates nothing
    EXPECT_TRUE(files().isEmpty());
    writeFile(dir.filePath(CODE_1), "another writer");
    send({0, 3});
    EXPECT_EQ(file(CODE_1), "another writer");
    EXPECT_EQ(file(QStringLiteral("20240305_070809_2_MO__.txt")), ". ");
}

TEST_F(SessionFiles, ErrorMarkersFollowTheCharacterInBothFiles)
{
    startSaving(dir.path());
    send({0, 64, 1, 3, 1, 66, 4});
    EXPECT_EQ(file(CODE_1), ".-[DOT_TOO_SHORT] -[PAUSE_TOO_SHORT]");
    EXPECT_EQ(file(TEXT_1), "A[DOT_TOO_SHORT]T [PAUSE_TOO_SHORT]");
    EXPECT_EQ(handler->GetCurrentMorseSymbolString(), QStringLiteral(".-c-w"));
}

TEST_F(SessionFiles, LineEndWritesStopAndStartTimesOfTheLastTwoTimestamps)
{
    startSaving(dir.path());
    setTimestamps(1700000000123456ULL, 1700000003500000ULL);
    send({1, 1, 5});
    EXPECT_EQ(QString::fromUtf8(file(TEXT_1)),
              QStringLiteral("M\n[Stop Time:  %1]\n[Start Time:  %2]\n")
                  .arg(localClock(1700000000123456ULL), localClock(1700000003500000ULL)));
}

TEST_F(SessionFiles, LineBreakFollowsTheWriteThatFindsHundredCharacters)
{
    startSaving(dir.path());
    for (int i = 0; i < 102; ++i)
        send({0, 3});
    EXPECT_EQ(file(TEXT_1), QByteArray(101, 'E') + "\nE");
}

TEST_F(SessionFiles, CharactersOutsideTheAlphabetLeaveOnlyACodeFile)
{
    startSaving(dir.path());
    send({1, 1, 1, 1, 1, 1, 1, 1, 3});
    EXPECT_EQ(files(), QStringList({CODE_1}));
    EXPECT_EQ(file(CODE_1), "-------- ");
}

TEST_F(SessionFiles, FileGrownPastTheLimitIsContinuedInANewOne)
{
    // An alphabet whose texts are long makes the byte count exact: "." writes 999 bytes,
    // "-" 1000, ".." one; each write after the first adds a line feed.
    QTemporaryDir alphabets;
    writeFile(alphabets.filePath(QStringLiteral("Big.mal")),
              QByteArray(999, 'x') + "\t.\n" + QByteArray(1000, 'y') + "\t-\nz\t..\n");
    auto* selection = add<values::ValueSelection>(QStringLiteral("/Morse/Alphabet"));
    selection->AddItem(QStringLiteral("Big"), 0, 0, nullptr);
    selection->Select(QStringLiteral("Big"), nullptr);
    add<values::Value<QString>>(QStringLiteral("/Morse/AlphabetDir"))
        ->SetValue(alphabets.path(), nullptr);
    handler->SetMorseAlphabet_ValuePath(QStringLiteral("/Morse/Alphabet"));
    handler->SetMorseAlphabet_DirectoryPath(QStringLiteral("/Morse/AlphabetDir"));
    ASSERT_TRUE(handler->ChangeAlphabet());
    startSaving(dir.path());
    const QString first = QStringLiteral("20240305_070809_1_MO____Big.txt");

    for (int i = 0; i < 255; ++i)
        send({0, 3});
    send({1, 3});
    ASSERT_EQ(QFileInfo(dir.filePath(first)).size(), 256000);
    send({0, 0, 3}); // exactly at the limit: continued
    EXPECT_TRUE(file(first).endsWith("z\n"));
    send({0, 3}); // past the limit: a new file
    const QString second = QStringLiteral("20240305_070809_2_MO____Big.txt");
    EXPECT_EQ(QFileInfo(dir.filePath(first)).size(), 256002);
    EXPECT_EQ(file(second), QByteArray(999, 'x'));
    EXPECT_EQ(valueOf(QStringLiteral("/Morse/TextFile")), dir.filePath(second));
}

TEST_F(SessionFiles, UnwritableSaveDirectoryLeavesDecodingUntouched)
{
    writeFile(dir.filePath(QStringLiteral("plain")), "not a directory");
    startSaving(dir.filePath(QStringLiteral("plain/session")));
    send({0, 1, 3, 1, 0, 0, 0, 3});
    EXPECT_EQ(recorder->units, QStringList({"A", "B"}));
    EXPECT_EQ(files(), QStringList({"plain"}));
    EXPECT_TRUE(valueOf(QStringLiteral("/Morse/TextFile")).isEmpty());
}
