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

TEST_F(SessionFiles, NamesComeFromUtcTimeFrequencyAndAlphabetAndFrequencyChangesStartNewOnes)
{
    add<values::ValueNumeric<double>>(QStringLiteral("/Morse/Frequency"))
        ->SetValue(14070000, nullptr);
    auto* frequency =
        bind<values::ValueNumeric<double>>("Frequency", &MorseHandler::SetFrequency_ValuePath);
    EXPECT_EQ(frequency->ObserverCount(), 1); // the second registration is the tree's affair
    startSaving(dir.path());
    const struct
    {
        double hz;
        const char* part; // rounded in single-precision steps
    } cases[] = {{14070000, "14_070MHz"}, {999999, "999_999KHz"}, {1000000, "1000_000KHz"},
                 {1000001, "1_000MHz"},   {500000, "500_000KHz"}, {7030500.4, "7_031MHz"}};
    for (const auto& c : cases) {
        frequency->SetValue(c.hz, nullptr);
        const QString name = QStringLiteral("20240305_070809_1_MO__") + QLatin1String(c.part);
        send({0, 1});
        EXPECT_EQ(valueOf(QStringLiteral("/Morse/CodeFile")), dir.filePath(name + ".txt"));
        if (c.hz == 14070000) {
            EXPECT_TRUE(valueOf(QStringLiteral("/Morse/TextFile")).isEmpty());
        }
        send({3});
        EXPECT_EQ(valueOf(QStringLiteral("/Morse/TextFile")), dir.filePath(name + "__Default.txt"));
        EXPECT_EQ(file(name + "__Default.txt"), "A");
    }
    find<values::Value<bool>>(QStringLiteral("/Morse/Save"))->SetValue(false, nullptr);
    frequency->SetValue(3560000, nullptr); // not saving: no new files
    send({0, 3});
    EXPECT_EQ(files().size(), 2 * int(std::size(cases)));
}

TEST_F(SessionFiles, NamesTakenBeforeOrAfterTheChoiceGetTheNextCounterAndAreLeftAlone)
{
    writeFile(dir.filePath(CODE_1), "old");
    startSaving(dir.path());
    // A trigger chooses both names now and creates nothing.
    find<values::Value<bool>>(QStringLiteral("/Morse/Save"))->HasChanged(CHANGE_TRIGGER, nullptr);
    EXPECT_EQ(files(), QStringList({CODE_1}));
    writeFile(dir.filePath(QStringLiteral("20240305_070809_2_MO__.txt")), "another writer");
    send({0, 1, 3});
    EXPECT_EQ(file(CODE_1), "old");
    EXPECT_EQ(file(QStringLiteral("20240305_070809_2_MO__.txt")), "another writer");
    EXPECT_EQ(file(QStringLiteral("20240305_070809_3_MO__.txt")), ".- ");
    EXPECT_EQ(file(TEXT_1), "A");
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
    // Long alphabet texts make the byte count exact: "." writes 999 bytes, "-" 1000, ".." one;
    // each write after the first adds a line feed.
    QTemporaryDir alphabets;
    writeFile(alphabets.filePath(QStringLiteral("Big.mal")),
              QByteArray(999, 'x') + "\t.\n" + QByteArray(1000, 'y') + "\t-\nz\t..\n");
    bindAlphabets(alphabets.path(), {"Big"})->Select(QStringLiteral("Big"), nullptr);
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
