#pragma once

#include "host/morsehost_export.h"

#include <QString>

/// A view of the host's configuration.
class MORSEHOST_EXPORT ICfg
{
public:
    virtual ~ICfg();
    /// The string stored under @p key, or @p def when the key or the configuration is missing.
    virtual QString ReadString(const QString& key, const QString& def, int flag) = 0;
};
