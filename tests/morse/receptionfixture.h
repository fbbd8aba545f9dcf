#pragma once

#include "qtprinters.h"
#include "recordingobserver.h"
#include "testfiles.h"
#include "tracecapture.h"
#include "treefixture.h"

#include "tools/morsehandler/clock.h"
#include "tools/morsehandler/morsehandler.h"

#include <QStringList>
#include <QTemporaryDir>

#include <initializer_list>
#include <memory>

/// Records the notices of the Morse-text value together with the text published each time.
class TextRecorder : public RecordingObserver
{
public:
    explicit TextRecorder(values::Value<QString>* value) : m_value(value) {}
    void Update(Observable* subject, TChangeCode code) override
    {
        RecordingObserver::Update(subject, code);
        if (code == CHANGE_VALUE)
            units << m_value->GetValue();
    }
    QStringList units;

private:
    values::Value<QString>* m_value;
};

/// A handler bound to symbol, available and text values, in a started session with the
/// built-in alphabet; the clock stands still at 2024-03-05 07:08:09 UTC.
class ReceptionTest : public TreeTest
{
protected:
    void SetUp() override
    {
        TreeTest::SetUp();
        morse::Clock::setFrozen(QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9), Qt::UTC));
        symbol = add<values::ValueNumeric<int>>(QStringLiteral("/Morse/Symbol"));
        available = add<values::Value<bool>>(QStringLiteral("/Morse/Available"));
        text = add<values::Value<QString>>(QStringLiteral("/Morse/Text"));
        available->SetValue(true, nullptr);
        startHandler();
        recorder = std::make_unique<TextRecorder>(text);
        text->AddObserver(recorder.get());
    }
    /// (Re)creates the handler bound to the symbol, available and text values, session started.
    void startHandler()
    {
        handler.reset();
        handler = std::make_unique<MorseHandler>();
        handler->SetSymbol_ValuePath(QStringLiteral("/Morse/Symbol"));
        handler->SetMorseAvailable_ValuePath(QStringLiteral("/Morse/Available"));
        handler->SetMorseText_ValuePath(QStringLiteral("/Morse/Text"));
        handler->StartNewMorseSession();
    }
    void TearDown() override
    {
        handler.reset();
        if (values::Tree::Instance()->FindValue(QStringLiteral("/Morse/Text")) == text)
            text->DeleteObserver(recorder.get());
        morse::Clock::setFrozen(QDateTime());
        TreeTest::TearDown();
    }

    void send(std::initializer_list<int> codes)
    {
        for (int code : codes)
            handler->AddSymbol(code);
    }
    void setTimestamps(quint64 previous, quint64 current)
    {
        handler->SetTimestamp(previous);
        handler->SetTimestamp(current);
    }
    /// Binds save-to-file (on) and the three file-name values, saving into @p directory.
    void startSaving(const QString& directory)
    {
        add<values::Value<bool>>(QStringLiteral("/Morse/Save"))->SetValue(true, nullptr);
        add<values::Value<QString>>(QStringLiteral("/Morse/TextFile"));
        add<values::Value<QString>>(QStringLiteral("/Morse/CodeFile"));
        add<values::Value<QString>>(QStringLiteral("/Morse/XmlFile"));
        handler->SetSaveDirectoryPath(directory, QStringLiteral("/Morse/TextFile"),
                                      QStringLiteral("/Morse/CodeFile"),
                                      QStringLiteral("/Morse/XmlFile"));
        handler->SetMorseSaveToFile_ValuePath(QStringLiteral("/Morse/Save"));
    }
    /// Adds the value /Morse/@p name and binds it through @p setter.
    template <class V> V* bind(const char* name, void (MorseHandler::*setter)(const QString&))
    {
        const QString path = QStringLiteral("/Morse/") + QLatin1String(name);
        V* value = add<V>(path);
        (handler.get()->*setter)(path);
        return value;
    }
    /// Binds an alphabet selection offering @p names from @p directory, and the direction flag.
    values::ValueSelection* bindAlphabets(const QString& directory,
                                          std::initializer_list<const char*> names)
    {
        auto* selection = add<values::ValueSelection>(QStringLiteral("/Morse/Alphabet"));
        for (const char* name : names)
            selection->AddItem(QString::fromLatin1(name), 0, 0, nullptr);
        add<values::Value<QString>>(QStringLiteral("/Morse/AlphabetDir"))
            ->SetValue(directory, nullptr);
        add<values::Value<bool>>(QStringLiteral("/Morse/RTL"));
        handler->SetMorseAlphabet_ValuePath(QStringLiteral("/Morse/Alphabet"));
        handler->SetMorseAlphabet_DirectoryPath(QStringLiteral("/Morse/AlphabetDir"));
        handler->SetTextDirectionRTL_ValuePath(QStringLiteral("/Morse/RTL"));
        return selection;
    }
    // Members, so that the tests deriving from this fixture find them before any helper of
    // their own file.
    static QByteArray contentOf(const QString& path) { return testfiles::contentOf(path); }
    static void writeFile(const QString& path, const QByteArray& content)
    {
        testfiles::writeFile(path, content);
    }
    static QString valueOf(const QString& path)
    {
        auto* value = find<values::Value<QString>>(path);
        return value ? value->GetValue() : QString();
    }

    values::ValueNumeric<int>* symbol = nullptr;
    values::Value<bool>* available = nullptr;
    values::Value<QString>* text = nullptr;
    std::unique_ptr<MorseHandler> handler;
    std::unique_ptr<TextRecorder> recorder;
};
