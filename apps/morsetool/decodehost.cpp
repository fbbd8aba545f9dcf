#include "decodehost.h"

#include "tools/morsehandler/morsehandler.h"

#include <QDir>
#include <QFileInfo>

namespace {

void print(FILE* out, const QString& text, bool flush = true)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out);
    if (flush)
        std::fflush(out);
}

} // namespace

DecodeHost::DecodeHost(const Options& options, FILE* textOut, FILE* messagesOut)
    : m_options(options), m_textOut(textOut), m_messagesOut(messagesOut),
      m_handler(std::make_unique<MorseHandler>())
{
}

DecodeHost::~DecodeHost()
{
    m_handler.reset(); // unregisters from the values before they go
    values::Tree* tree = values::Tree::Instance();
    for (const QString& path : tree->Paths()) {
        if (path.startsWith(m_options.valueRoot))
            tree->RemoveValue(path);
    }
}

QStringList DecodeHost::alphabetNames() const
{
    if (m_options.alphabetsDirectory.isEmpty())
        return {};
    QStringList names;
    const QStringList files = QDir(m_options.alphabetsDirectory)
                                  .entryList({QStringLiteral("*.mal")}, QDir::Files, QDir::Name);
    for (const QString& file : files)
        names.append(file.left(file.size() - 4));
    return names;
}

bool DecodeHost::hasAlphabet(const QString& name) const
{
    return alphabetNames().contains(name, Qt::CaseInsensitive);
}

bool DecodeHost::start(QString& error)
{
    if (!m_values.Make(m_options.valueRoot)) {
        error = QStringLiteral("the value tree already holds values of other types");
        return false;
    }
    const bool saving = !m_options.saveDirectory.isEmpty();
    if (!setControls(error))
        return false;
    m_values.saveToFile->SetValue(saving, nullptr);
    watchValues();
    bindHandler(saving);
    if (!m_handler->StartNewMorseSession() && !m_options.alphabet.isEmpty()) {
        error = QStringLiteral("cannot read the alphabet file of \"%1\"").arg(m_options.alphabet);
        return false;
    }
    return true;
}

/// Fills the values as the application's controls would; false with @p error when the chosen
/// alphabet is not in the directory.
bool DecodeHost::setControls(QString& error)
{
    m_values.available->SetValue(true, nullptr);
    m_values.alphabetDirectory->SetValue(m_options.alphabetsDirectory, nullptr);
    m_values.alphabet->DeleteItems(nullptr);
    long key = 0;
    for (const QString& name : alphabetNames()) {
        m_values.alphabet->AddItem(name, static_cast<double>(key), key, nullptr);
        ++key;
    }
    if (!m_options.alphabet.isEmpty() && !selectAlphabet(m_options.alphabet, error))
        return false;
    m_values.frequency->SetValue(m_options.frequencyHz, nullptr);
    m_values.modulation->AddItem(QStringLiteral("CW"), 0, 0, nullptr);
    m_values.modulation->Select(QStringLiteral("CW"), nullptr);
    m_values.decoderResult->AddItem(QStringLiteral("Morse"), 0, 0, nullptr);
    m_values.decoderResult->Select(QStringLiteral("Morse"), nullptr);
    return true;
}

/// Watches the values whose changes the host prints or answers.
void DecodeHost::watchValues()
{
    for (values::ValueBase* watched : {static_cast<values::ValueBase*>(m_values.text),
                                       static_cast<values::ValueBase*>(m_values.textFileName),
                                       static_cast<values::ValueBase*>(m_values.codeFileName),
                                       static_cast<values::ValueBase*>(m_values.xmlFileName),
                                       static_cast<values::ValueBase*>(m_values.rightToLeft),
                                       static_cast<values::ValueBase*>(m_values.saveState),
                                       static_cast<values::ValueBase*>(m_values.generateSettings)})
        watched->AddObserver(this);
}

/// Binds the handler to the values, the save directory too when @p bSaving.
void DecodeHost::bindHandler(bool bSaving)
{
    MorseHandler& h = *m_handler;
    h.SetMorseText_ValuePath(m_options.valueRoot + QStringLiteral("Text"));
    h.SetSymbol_ValuePath(m_options.valueRoot + QStringLiteral("Symbol"));
    h.SetMorseAvailable_ValuePath(m_options.valueRoot + QStringLiteral("Available"));
    // Without a chosen alphabet the selection stays unbound, as in an application that offers
    // none: the built-in alphabet decodes and the session files are named "Default".
    if (!m_options.alphabet.isEmpty())
        h.SetMorseAlphabet_ValuePath(m_options.valueRoot + QStringLiteral("Alphabet"));
    h.SetMorseAlphabet_DirectoryPath(m_options.valueRoot + QStringLiteral("AlphabetDirectory"));
    h.SetTextDirectionRTL_ValuePath(m_options.valueRoot + QStringLiteral("TextDirectionRTL"));
    h.SetFrequency_ValuePath(m_options.valueRoot + QStringLiteral("Frequency"));
    h.SetModtype_ValuePath(m_options.valueRoot + QStringLiteral("ModulationType"));
    h.SetDecResult_ValuePath(m_options.valueRoot + QStringLiteral("DecoderResult"));
    h.SetGenXmlTunerDemodulatorSettingsPath(m_options.valueRoot +
                                            QStringLiteral("GenerateTunerSettings"));
    h.SetXmlTunerDemodulatorSettings(m_options.valueRoot + QStringLiteral("TunerSettings"));
    if (bSaving)
        h.SetSaveDirectoryPath(m_options.saveDirectory,
                               m_options.valueRoot + QStringLiteral("TextFileName"),
                               m_options.valueRoot + QStringLiteral("CodeFileName"),
                               m_options.valueRoot + QStringLiteral("XmlFileName"));
    h.SetMorseSaveToFile_ValuePath(m_options.valueRoot + QStringLiteral("SaveToFile"));
    h.SetMorseXmlSaveToFile_ValuePath(m_options.valueRoot + QStringLiteral("XmlSave"));
    h.SetSaveState_ValuePath(m_options.valueRoot + QStringLiteral("SaveState"));
}

bool DecodeHost::selectAlphabet(const QString& name, QString& error)
{
    const QStringList names = alphabetNames();
    for (const QString& candidate : names) {
        if (candidate.compare(name, Qt::CaseInsensitive) == 0)
            return m_values.alphabet->Select(candidate, nullptr);
    }
    error = names.isEmpty() ? QStringLiteral("no alphabet \"%1\": no .mal files in \"%2\"")
                                  .arg(name, m_options.alphabetsDirectory)
                            : QStringLiteral("no alphabet \"%1\"; known: %2")
                                  .arg(name, names.join(QStringLiteral(", ")));
    return false;
}

void DecodeHost::feed(const SymbolSource::Symbol& symbol)
{
    if (symbol.hasTimestamp) {
        m_handler->SetTimestamp(symbol.timestampUs);
        m_anyTimestamp = true;
        m_lastTimestampUs = symbol.timestampUs;
    }
    // A demodulator announces a repeated code although the value does not change.
    if (m_values.symbol->GetValue() == symbol.code)
        m_values.symbol->HasChanged(CHANGE_VALUE, nullptr);
    else
        m_values.symbol->SetValue(symbol.code, nullptr);
}

bool DecodeHost::retranslate(const QString& alphabet, QString& text, QString& error)
{
    if (!selectAlphabet(alphabet, error))
        return false;
    m_handler->SetMorseAlphabet_ValuePath(m_options.valueRoot + QStringLiteral("Alphabet"));
    if (!m_handler->ChangeAlphabet()) {
        error = QStringLiteral("cannot read the alphabet file of \"%1\"").arg(alphabet);
        return false;
    }
    text = m_handler->TranslateText(false, false, 0);
    return true;
}

void DecodeHost::saveReport()
{
    if (m_options.saveDirectory.isEmpty() || !m_anyTimestamp)
        return;
    m_values.xmlSave->HasChanged(CHANGE_TRIGGER, nullptr);
    // A saved report starts over at the next time; the text until then belongs to this one.
    m_handler->SetTimestamp(m_lastTimestampUs);
}

bool DecodeHost::finish(QString& error)
{
    const bool saving = !m_options.saveDirectory.isEmpty();
    if (saving)
        m_values.xmlSave->HasChanged(CHANGE_TRIGGER, nullptr);
    m_handler->EndMorseSession();
    if (saving && m_anyTimestamp) {
        const QString report = m_values.xmlFileName->GetValue();
        if (report.isEmpty() || !QFileInfo::exists(report)) {
            error = QStringLiteral("the report could not be written to \"%1\"").arg(report);
            return false;
        }
    }
    if (m_handler->HasLostSavedData()) {
        error = QStringLiteral("text was lost while saving (see the messages above)");
        return false;
    }
    return true;
}

void DecodeHost::answerTunerSettingsRequest()
{
    const QString settings = QStringLiteral("frequency=%1 Hz; modulation=%2")
                                 .arg(m_values.frequency->GetValue(), 0, 'f', 0)
                                 .arg(m_values.modulation->GetStringValue());
    if (m_values.tunerSettings->GetValue() == settings)
        m_values.tunerSettings->HasChanged(CHANGE_VALUE, nullptr);
    else
        m_values.tunerSettings->SetValue(settings, nullptr);
}

void DecodeHost::Update(Observable* subject, TChangeCode code)
{
    if (code != CHANGE_VALUE)
        return;
    if (subject == m_values.text && m_textListener) {
        m_textListener(m_values.text->GetValue());
    } else if (subject == m_values.text) {
        if (m_printing)
            print(m_textOut, m_values.text->GetValue(), m_options.flushEachUnit);
    } else if (subject == m_values.saveState) {
        // Failures are told even with --quiet.
        print(m_messagesOut,
              QStringLiteral("morsetool decode: saving: %1\n").arg(m_values.saveState->GetValue()));
    } else if (!m_options.announceFiles) {
        // file names stay quiet
    } else if (subject == m_values.textFileName) {
        print(m_messagesOut,
              QStringLiteral("text file: %1\n").arg(m_values.textFileName->GetValue()));
    } else if (subject == m_values.codeFileName) {
        print(m_messagesOut,
              QStringLiteral("code file: %1\n").arg(m_values.codeFileName->GetValue()));
    } else if (subject == m_values.xmlFileName) {
        print(m_messagesOut, QStringLiteral("report: %1\n").arg(m_values.xmlFileName->GetValue()));
    }
    if (subject == m_values.rightToLeft && m_values.rightToLeft->GetValue() &&
        !m_rightToLeftNoted) {
        m_rightToLeftNoted = true;
        print(m_messagesOut, QStringLiteral("(right-to-left alphabet: text is shown in logical "
                                            "order)\n"));
    } else if (subject == m_values.generateSettings && m_values.generateSettings->GetValue()) {
        answerTunerSettingsRequest();
    }
}
