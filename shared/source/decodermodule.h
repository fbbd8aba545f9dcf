#pragma once

#include "tools/morsehandler/morsehandler_export.h"

#include <QString>

namespace LanternIT {

/// One decoder module of the decoder modules file: its numbers, the modulation modes it
/// handles, the letter of its base character set (I ITA2, A ASCII, B both) and its name.
struct MORSEHANDLER_EXPORT DecoderModule
{
    qint32 nModuleNumber = 0;   ///< field 0
    double dSecondNumber = 0.0; ///< field 1, kept and handed out, not interpreted
    char cKind = 0;             ///< field 2, first character; 0 beyond Latin-1
    /// @name Mode flags
    /// Fields 3 to 28: whether the module handles the mode of that name. The file orders the
    /// last seven as PSK31, OQPSK, MIL-STD, STANAG, ACARS HF, HC-ARQ, ICAO SELCAL.
    ///@{
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
    ///@}
    char cCharset = 0; ///< field 29, first character: I ITA2, A ASCII, B both
    QString strName;   ///< fields 30 to the end of the line, trimmed; may hold blanks

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
