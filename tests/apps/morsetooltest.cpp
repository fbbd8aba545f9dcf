#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

struct ToolRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

ToolRun morsetool(const QStringList& arguments, const QByteArray& input = QByteArray())
{
    QProcess process;
    process.start(QStringLiteral(MORSE_BINARY_DIR "/apps/morsetool/morsetool"), arguments);
    process.write(input);
    process.closeWriteChannel();
    ToolRun run;
    if (!process.waitForFinished(60000))
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

/// The content of the one file in @p dir matching @p pattern; empty unless there is exactly one.
QByteArray onlyFile(const QTemporaryDir& dir, const QString& pattern, QString* name = nullptr)
{
    const QStringList found = QDir(dir.path()).entryList({pattern}, QDir::Files);
    QFile file(found.size() == 1 ? dir.filePath(found.first()) : QString());
    if (name)
        *name = file.fileName();
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(MorsetoolDecode, StandardInputCodesPrintAsTextEndingInALineFeed)
{
    const ToolRun run = morsetool({"decode", "-"}, "0 1 3 1 0 0 0 3 4\n");
    EXPECT_EQ(run.exitCode, 0) << qPrintable(run.err);
    EXPECT_EQ(run.out, QStringLiteral("AB \n"));
}

TEST(MorsetoolDecode, SavedSampleLeavesLineStampedFilesAndASpanningReport)
{
    QTemporaryDir dir;
    const ToolRun run = morsetool({"decode", "--save", dir.path(), "--frequency", "14070000",
                                   QStringLiteral(MORSE_BUNDLED_DATA_DIR "/samples/cq.txt")});
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.err);
    EXPECT_TRUE(run.out.contains(QStringLiteral("PWR 100 W HR 73")));
    QString textName;
    const QString text =
        QString::fromUtf8(onlyFile(dir, QStringLiteral("*_MO__14_070MHz__Default.txt"), &textName));
    EXPECT_TRUE(text.contains(QRegularExpression(
        QStringLiteral("\n\\[Stop Time:  \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\]\n\\[Start Time:  "
                       "\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\]\n"))))
        << qPrintable(text);
    EXPECT_TRUE(run.err.contains(QStringLiteral("text file: ") + textName));
    const QByteArray xml = onlyFile(dir, QStringLiteral("OrielResultData_*.xml"));
    EXPECT_TRUE(
        xml.contains("start=\"2023-11-14T22:13:20.000Z\" stop=\"2023-11-14T22:15:42.800Z\""))
        << xml.left(300).constData();
}

TEST(MorsetoolDecode, RetranslatesTheReceptionThroughAnotherAlphabet)
{
    QTemporaryDir alphabets;
    QFile file(alphabets.filePath(QStringLiteral("Test.mal")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xce\x91\t.-\n\xce\x92\t-...\n");
    file.close();
    const ToolRun run = morsetool(
        {"decode", "--alphabets", alphabets.path(), "--retranslate", "test"}, ".-c-...cw\n");
    EXPECT_EQ(run.exitCode, 0) << qPrintable(run.err);
    EXPECT_EQ(run.out, QString::fromUtf8("AB \n\xce\x91\xce\x92 \n"));
}

TEST(MorsetoolDecode, UnreadableInputOrUnknownAlphabetExitsWithTwo)
{
    const ToolRun bad = morsetool({"decode", "-"}, "0 1 3\nhello\n");
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(bad.out, QStringLiteral("A\n")); // what came before the error is kept
    EXPECT_TRUE(bad.err.contains(QStringLiteral("line 2"))) << qPrintable(bad.err);
    EXPECT_EQ(morsetool({"decode", "/nonexistent/input.txt"}).exitCode, 2);
    QTemporaryDir empty;
    EXPECT_EQ(morsetool({"decode", "--alphabets", empty.path(), "--alphabet", "Klingon"}, "0 3\n")
                  .exitCode,
              2);
}

TEST(MorsetoolEncode, CodesDecodeBackAndUnknownCharactersAreRefused)
{
    const ToolRun encoded = morsetool({"encode", "cq de", "dl1abc"});
    ASSERT_EQ(encoded.exitCode, 0);
    EXPECT_EQ(morsetool({"decode", "-"}, encoded.out.toUtf8()).out,
              QStringLiteral("CQ DE DL1ABC\n"));
    const ToolRun unknown = morsetool({"encode", "a~b"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.out.isEmpty());
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("'~'")));
}
