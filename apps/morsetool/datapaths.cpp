#include "datapaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString DataPaths::DataDirectory()
{
    const QString candidates[] = {
        QStringLiteral(MORSETOOL_SOURCE_DATA_DIR),
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/morsehandler"),
        QStringLiteral(MORSETOOL_INSTALL_DATA_DIR),
    };
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate + QStringLiteral("/alphabets")).isDir())
            return QDir(candidate).absolutePath();
    }
    return QString();
}

QString DataPaths::AlphabetsDirectory()
{
    const QString data = DataDirectory();
    return data.isEmpty() ? QString() : data + QStringLiteral("/alphabets");
}

QString DataPaths::CodecsDirectory()
{
    const QString data = DataDirectory();
    return data.isEmpty() ? QString() : data + QStringLiteral("/codecs");
}

QString DataPaths::DecoderModulesFile()
{
    const QString data = DataDirectory();
    return data.isEmpty() ? QString() : data + QStringLiteral("/decodermodules.txt");
}
