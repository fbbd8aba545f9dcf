#include "shared/source/decodermodule.h"

namespace LanternIT {

const DecoderModule::ModeFlag* DecoderModule::ModeFlags()
{
    static const ModeFlag FLAGS[MODE_COUNT] = {
        {"ASK", &DecoderModule::bASK},
        {"FSK2", &DecoderModule::bFSK2},
        {"FSK4", &DecoderModule::bFSK4},
        {"MSK", &DecoderModule::bMSK},
        {"PSK2", &DecoderModule::bPSK2},
        {"PSK4", &DecoderModule::bPSK4},
        {"PSK8", &DecoderModule::bPSK8},
        {"McFSK", &DecoderModule::bMcFSK},
        {"McPSK2", &DecoderModule::bMcPSK2},
        {"McPSK4", &DecoderModule::bMcPSK4},
        {"MTONE", &DecoderModule::bMTONE},
        {"MORSE", &DecoderModule::bMORSE},
        {"FAX", &DecoderModule::bFAX},
        {"SSTV", &DecoderModule::bSSTV},
        {"PACKET RADIO", &DecoderModule::bPACKET_RADIO},
        {"HELLSCHREIBER", &DecoderModule::bHELLSCHREIBER},
        {"PACTOR", &DecoderModule::bPACTOR},
        {"CLOVER", &DecoderModule::bCLOVER},
        {"F7W", &DecoderModule::bF7W},
        {"ACARS HF", &DecoderModule::bACARS_HF},
        {"HC-ARQ", &DecoderModule::bHC_ARQ},
        {"ICAO SELCAL", &DecoderModule::bICAO_SELCAL},
        {"MIL-STD", &DecoderModule::bMIL_STD},
        {"STANAG", &DecoderModule::bSTANAG},
        {"PSK31", &DecoderModule::bPSK31},
        {"OQPSK", &DecoderModule::bOQPSK},
    };
    return FLAGS;
}

} // namespace LanternIT
