#pragma once

#include "host/icfg.h"

/// The host's configuration centre. Each scope is an INI file: the path in the environment
/// variable CFGCENTER_FILE when set, else `<GenericConfigLocation>/<scope>.ini`.
class MORSEHOST_EXPORT CfgCenter
{
public:
    /// The configuration of @p scope. The centre keeps the object; callers do not delete it.
    static ICfg* CreateCfg(const QString& scope, int view, const QString& extra);
    /// The INI file that CreateCfg reads for @p scope.
    static QString FileForScope(const QString& scope);
};
