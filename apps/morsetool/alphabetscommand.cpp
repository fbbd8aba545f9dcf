// morsetool alphabets [--alphabets DIR]: the alphabets a Morse alphabet handler offers for a
// directory, with their entry counts and text direction.

#include "commandline.h"
#include "commands.h"
#include "datapaths.h"

#include "tools/morsehandler/alphabetdirectory.h"
#include "tools/morsehandler/alphabetnames.h"
#include "tools/morsehandler/simplemorsehandler.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

int runAlphabetsCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Lists the Morse alphabets (.mal files) of a directory: name, number of "
                       "entries and whether the text runs right to left."));
    const QCommandLineOption directoryOption(
        QStringLiteral("alphabets"), QStringLiteral("Directory of .mal files."),
        QStringLiteral("dir"), DataPaths::AlphabetsDirectory());
    parser.addOption(directoryOption);
    const int parsed = CommandLine::Parse(parser, QStringLiteral("alphabets"), arguments);
    if (parsed != CommandLine::CONTINUE)
        return parsed;
    const QString directory = parser.value(directoryOption);
    if (directory.isEmpty() || !QFileInfo(directory).isDir()) {
        return CommandLine::Fail(QStringLiteral("alphabets"), EXIT_BAD_INPUT,
                                 CommandLine::CannotOpen(directory, QStringLiteral("no such "
                                                                                   "directory")));
    }

    SimpleMorseHandler handler;
    handler.SetAlphabetsDir(directory);
    QStringList names = handler.AvailableAlphabets();
    names.removeFirst(); // "None", printed first below
    // Two files may give one name (Greek.mal, Greek.extra.mal); selecting it reads <name>.mal.
    names.removeDuplicates();
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });

    std::printf("%-16s text passes through unchanged\n", qPrintable(morse::AlphabetNames::NONE));
    for (const QString& name : names) {
        int entries = 0;
        bool rightToLeft = false;
        const QString file = morse::AlphabetDirectory::FileOf(directory, name);
        if (file.isEmpty() || !morse::AlphabetDirectory::Inspect(file, entries, rightToLeft))
            std::printf("%-16s cannot be read (no %s.mal)\n", qPrintable(name), qPrintable(name));
        else
            std::printf("%-16s %4d entries%s\n", qPrintable(name), entries,
                        rightToLeft ? ", right to left" : "");
    }
    return EXIT_OK;
}
