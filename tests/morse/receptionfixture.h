#pragma once

#include "recordingobserver.h"
#include "treefixture.h"

#include "host/errorhandler.h"
#include "tools/morsehandler/clock.h"
#include "tools/morsehandler/morsehandler.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <initializer_list>
#include <memory>
#include <ostream>

/// Lets failing expectations show strings as text.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

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

/// Collects trace lines while alive, with the library's trace flag set.
class TraceCapture
{
public:
    TraceCapture()
    {
        ErrorHandler::Instance()->SetTraceFlags(TRACE_FLAG_LIBRARY);
        ErrorHandler::Instance()->SetTraceSink(
            [this](const QString& message, const QString&, int) { lines << message; });
    }
    ~TraceCapture()
    {
        ErrorHandler::Instance()->SetTraceFlags(0);
        ErrorHandler::Instance()->SetTraceSink(nullptr);
    }
    QStringList lines;
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
        handler = std::make_unique<MorseHandler>();
        handler->SetSymbol_ValuePath(QStringLiteral("/Morse/Symbol"));
        handler->SetMorseAvailable_ValuePath(QStringLiteral("/Morse/Available"));
        handler->SetMorseText_ValuePath(QStringLiteral("/Morse/Text"));
        handler->StartNewMorseSession();
        recorder = std::make_unique<TextRecorder>(text);
        text->AddObserver(recorder.get());
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
    QString valueOf(const QString& path)
    {
        auto* value =
            dynamic_cast<values::Value<QString>*>(values::Tree::Instance()->FindValue(path));
        return value ? value->GetValue() : QString();
    }
    static QByteArray contentOf(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static void writeFile(const QString& path, const QByteArray& content)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    values::ValueNumeric<int>* symbol = nullptr;
    values::Value<bool>* available = nullptr;
    values::Value<QString>* text = nullptr;
    std::unique_ptr<MorseHandler> handler;
    std::unique_ptr<TextRecorder> recorder;
};
