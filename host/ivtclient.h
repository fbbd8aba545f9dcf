#pragma once

#include "host/morsehost_export.h"

namespace values {
class ValueBase;
}

/// The host's data client, to which a component hands a value the host should serve.
class MORSEHOST_EXPORT IVtClient
{
public:
    virtual ~IVtClient();
    /// Takes @p v to serve; what @p flags mean is the host's affair.
    virtual void RegisterValue(values::ValueBase* v, int flags) = 0;
};
