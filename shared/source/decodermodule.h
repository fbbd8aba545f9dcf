#pragma once

#include "tools/morsehandler/morsehandler_export.h"

#include <QString>

namespace LanternIT {

/// One decoder module of the decoder modules file: its numbers, the modulation modes it
/// handles, the letter of its base character set (I ITA2, A ASCII, B both) and its name.
struct MORSEHANDLER_EXPORT DecoderModule
{
    qint32 nModuleNumber = 0;
    double dSecondNumber = 0.0;
    char cKind = 0;
    // Mode flags, in declaration order (the file orders the last seven differently).
    bool bASK = false;
    bool bFSK2 = false;
    bool bFSK4 = false;
    bool bMSK = false;
    bool bPSK2 = false;
    bool bPSK4 = false;
    bool bPSK8 = false;
    bool bMcFSK = false;
    bool bMcPSK2 = false;
    bool bMcPSK4 = false;
    bool bMTONE = false;
    bool bMORSE = false;
    bool bFAX = false;
    bool bSSTV = false;
    bool bPACKET_RADIO = false;
    bool bHELLSCHREIBER = false;
    bool bPACTOR = false;
    bool bCLOVER = false;
    bool bF7W = false;
    bool bACARS_HF = false;
    bool bHC_ARQ = false;
    bool bICAO_SELCAL = false;
    bool bMIL_STD = false;
    bool bSTANAG = false;
    bool bPSK31 = false;
    bool bOQPSK = false;
    char cCharset = 0;
    QString strName;

    /// A mode flag and the mode name that the catalogue's mode tables use for it.
    struct ModeFlag
    {
        const char* name;
        bool DecoderModule::*flag;
    };
    static constexpr int MODE_COUNT = 26;
    /// The MODE_COUNT mode flags in declaration order.
    static const ModeFlag* ModeFlags();
};

} // namespace LanternIT
