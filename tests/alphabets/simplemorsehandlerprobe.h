#pragma once

#include "tools/morsehandler/simplemorsehandler.h"

/// Reads what a SimpleMorseHandler holds between two Translate calls.
class SimpleMorseHandlerProbe
{
public:
    static const QString& pending(const SimpleMorseHandler& handler)
    {
        return handler.m_strPendingSymbols;
    }
};
