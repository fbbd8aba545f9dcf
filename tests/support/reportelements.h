#pragma once

// Reads back a saved result report for tests: the elements that matter, in document order.

#include <QFile>
#include <QPair>
#include <QStringList>
#include <QXmlStreamReader>

/// Each Transmission (start, stop), DataBlock (a) and Frame (timestamp, text) of the report at
/// @p path, as (element name, values); @p pError gets the XML error, empty when there is none.
inline QList<QPair<QString, QStringList>> ReportElements(const QString& path,
                                                         QString* pError = nullptr)
{
    QList<QPair<QString, QStringList>> elements;
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        const auto attribute = [&](const char* name) {
            return attributes.value(QLatin1String(name)).toString();
        };
        const QString name = xml.name().toString();
        if (name == QLatin1String("Transmission"))
            elements.append({name, {attribute("start"), attribute("stop")}});
        else if (name == QLatin1String("DataBlock"))
            elements.append({name, {attribute("a")}});
        else if (name == QLatin1String("Frame"))
            elements.append({name, {attribute("timestamp"), xml.readElementText()}});
    }
    if (pError)
        *pError = xml.hasError() ? xml.errorString() : QString();
    return elements;
}
