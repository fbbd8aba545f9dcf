// The README's embedding example: a host binds a MorseHandler to its value tree, starts a
// session and feeds it Morse symbol codes; the decoded text arrives on the Morse-text value.
#include "host/values.h"
#include "tools/morsehandler/morsehandler.h"

#include <cstdio>

class TextPrinter : public IObserver
{
public:
    explicit TextPrinter(values::Value<QString>* text) : m_pText(text) { text->AddObserver(this); }
    ~TextPrinter() override { m_pText->DeleteObserver(this); }
    void Update(Observable*, TChangeCode code) override
    {
        if (code == CHANGE_VALUE)
            std::printf("%s", m_pText->GetValue().toUtf8().constData());
    }

private:
    values::Value<QString>* m_pText;
};

int main()
{
    values::Tree* tree = values::Tree::Instance();
    auto* symbol = tree->FindOrInsert<values::ValueNumeric<int>>(QStringLiteral("/Morse/Symbol"));
    auto* available = tree->FindOrInsert<values::Value<bool>>(QStringLiteral("/Morse/Available"));
    auto* text = tree->FindOrInsert<values::Value<QString>>(QStringLiteral("/Morse/Text"));
    available->SetValue(true, nullptr);

    {
        TextPrinter printer(text);
        MorseHandler handler;
        handler.SetSymbol_ValuePath(QStringLiteral("/Morse/Symbol"));
        handler.SetMorseAvailable_ValuePath(QStringLiteral("/Morse/Available"));
        handler.SetMorseText_ValuePath(QStringLiteral("/Morse/Text"));
        handler.StartNewMorseSession(); // built-in International alphabet

        for (int code : {0, 1, 3, 1, 0, 0, 0, 3, 4}) { // A, B, word end
            const bool repeated = symbol->GetValue() == code;
            symbol->SetValue(code, nullptr);
            if (repeated) // an equal code changes nothing: announce it again
                symbol->HasChanged(CHANGE_VALUE, nullptr);
        }
    }
    std::printf("\n");
    tree->Clear();
    return 0;
}
