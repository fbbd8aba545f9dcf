// Links a call into each class of the host layer's public headers.
#include "host/cfgcenter.h"
#include "host/datablock.h"
#include "host/errorhandler.h"
#include "host/icfg.h"
#include "host/ivtclient.h"
#include "host/morsehost_export.h"
#include "host/observable.h"
#include "host/orielresultdata.h"
#include "host/tarndatetime.h"
#include "host/transmission.h"
#include "host/tree.h"
#include "host/value.h"
#include "host/valuebase.h"
#include "host/valuenumeric.h"
#include "host/values.h"
#include "host/valueselection.h"

#include <QDateTime>

#include <cstdio>

namespace {

class Counter : public IObserver
{
public:
    void Update(Observable*, TChangeCode) override { ++m_nNotices; }
    int m_nNotices = 0;
};

class Client : public IVtClient
{
public:
    void RegisterValue(values::ValueBase*, int) override {}
};

} // namespace

int main()
{
    values::Tree* tree = values::Tree::Instance();
    auto* number = tree->FindOrInsert<values::ValueNumeric<int>>(QStringLiteral("/Probe/Number"));
    auto* selection =
        tree->FindOrInsert<values::ValueSelection>(QStringLiteral("/Probe/Selection"));
    number->SetMinMax(0, 10, 1, nullptr);
    Counter counter;
    number->AddObserver(&counter);
    number->SetValue(3, nullptr);
    selection->AddItem(QStringLiteral("One"), 1.0, 1, nullptr);
    const bool selected = selection->Select(QStringLiteral("One"), nullptr);
    number->DeleteObserver(&counter);
    Client client;
    client.RegisterValue(number, 0);

    ErrorHandler::Instance()->SetTraceFlags(0);
    Tarn::DateTime stamp(QDateTime::fromMSecsSinceEpoch(0, Qt::UTC));
    auto* transmission = new OrielResultDataXml::Transmission;
    transmission->AddDataBlock(new OrielResultDataXml::DataBlock(-1, 0, 0));
    OrielResultDataXml::OrielResultData report;
    report.AddTransmission(transmission);
    report.Reset();
    ICfg* cfg =
        CfgCenter::CreateCfg(QStringLiteral("MorseProbe"), 0, QString()); // kept by the centre
    const QString fallback =
        cfg ? cfg->ReadString(QStringLiteral("Key"), QStringLiteral("x"), 0) : QString();

    tree->Clear();
    const bool ok = counter.m_nNotices == 1 && selected && !stamp.toString().isEmpty() &&
                    fallback == QStringLiteral("x");
    std::printf("morsehost %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
