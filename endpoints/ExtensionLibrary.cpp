#include "endpoints/ExtensionLibrary.h"

#include <strsafe.h>

#include "endpoints/EndpointInventory.h"

// The names as the library spells them ("Loundness" and "FRIST" included).
const char* const g_extensionExportNames[EXTENSION_EXPORT_COUNT] = {
    "HDAudVistaIsFirstTimeEffectFlag",
    "HDAudVistaEnhancements",
    "HDAudVistaXANSound",
    "HDAudVistaSpeakerFill",
    "HDAudVistaLoundnessEqual",
    "HDAudVistaCLFESwap",
    "HDAudVistaVirtualSurround",
    "HDAudVistaEqualizer",
    "HDAudVistaBassManagement",
    "HDAudVistaEnvironment",
    "HDAudVistaEnvironmentType",
    "HDAudVistaRoomCorrection",
    "HDAudVistaNeo6",
    "HDAudVistaKalaOK",
    "HDAudVistaEffectFlag",
    "HDAudVistaDigitalGain",
    "HDAudVistaHalvoFirstTimeStart",
    "HDAudVistaHalvoTrivox",
    "HDAudVistaHalvoHVS",
    "HDAudVistaHalvoHVSSampleRateFlag",
    "HDAudVistaHalvoSoundSpaceExpander",
    "HDAudVistaHalvoSoundSpaceHeadphone",
    "HDAudVistaHalvoNaturalBass",
    "HDAudVistaMonoSpeaker",
    "HDAudVistaEOS",
    "HDAudVistaEOSSetting",
    "HDAudVistaForteMediaAECBeamforming",
    "HDAudVistaForteMediaAGC",
    "HDAudVistaForteMediaSpeakerMode",
    "HDAudVistaForteMediaAGCDigitalMicVolume",
    "HDAudVistaXANAEC",
    "HDAudVistaXANBeamForming",
    "HDAudVistaXANNS",
    "HDAudVistaHPP",
    "HDAudVistaXANVOIPSupport",
    "HDAudVistaKaraokeRMicMute",
    "HDAudVistaKaraokeFMicMute",
    "HDAudVistaKaraokeDMicMute",
    "HDAudVistaKaraokeRMicVolume",
    "HDAudVistaKaraokeFMicVolume",
    "HDAudVistaKaraokeDMicVolume",
    "Set_XAN_FRIST_BOOT",
    "Set_XAN_Enhancement",
    "Set_XAN_LPF_System_Effect",
    "Set_XAN_SPKR_FILL",
    "Set_XAN_LOUDNESS_EQUAL",
    "Set_XAN_CNTR_LFE_SWAP",
    "Set_XAN_SOUND_EQ",
    "Set_XAN_SOUND_EQ_MIDBAND",
    "Set_XAN_SOUND_EQ_HIGHBAND",
    "Set_XAN_ENVIRON_MODEL_PARAMS1",
    "Set_XAN_ENVIRON_MODEL_PARAMS2",
    "Set_XAN_ENVIRON_MODEL_PARAMS3",
    "Set_XAN_ENVIRON_MODEL_PARAMS4",
    "Set_XAN_BASS_MANAGE",
    "Set_XAN_ROOM_CORRECT",
    "Set_XAN_ROOM_CORRECT_SPEAKER_DISTANCE_PARAMS1",
    "Set_XAN_ROOM_CORRECT_SPEAKER_DISTANCE_PARAMS2",
    "Set_XAN_ROOM_CORRECT_SPEAKER_LEVEL_PARAMS1",
    "Set_XAN_ROOM_CORRECT_SPEAKER_LEVEL_PARAMS2",
    "Set_XAN_VIRT_SURR",
    "Set_XAN_DTS",
    "Set_XAN_KALA_OK",
    "Set_XAN_EFFECT_FLAG",
    "Set_XAN_DIGITAL_GAIN",
    "Set_XAN_PHASE_INVERSE",
    "Set_XAN_FRIST_HALVO_BOOT",
    "Set_XAN_HALVO_TRIVOX",
    "Set_XAN_HALVO_HVS",
    "Set_XAN_HALVO_HVS_SAMPLERATE_FLAG",
    "Set_XAN_HALVO_SOUND_SPACE_EXPANDER",
    "Set_XAN_HALVO_SOUND_SPACE_HEADPHONE",
    "Set_XAN_HALVO_NATURAL_BASS",
    "Set_XAN_MONO_SPEAKER",
    "Set_XAN_EOS",
    "Set_XAN_EOS_SETTING",
    "Set_XAN_FORTE_AEC_BEAMFORMING",
    "Set_XAN_FORTE_AGC",
    "Set_XAN_FORTE_SPEAKER_MODE",
    "Set_XAN_FORTE_AGC_DIGITAL_MIC_VOLUME",
    "Set_XAN_AEC",
    "Set_XAN_BeamForming",
    "Set_XAN_NS",
    "Set_XAN_HP_Status",
    "Set_XAN_HPP",
    "Set_XAN_KaraokeRMicMute",
    "Set_XAN_KaraokeFMicMute",
    "Set_XAN_KaraokeDMicMute",
    "Set_XAN_KaraokeRMicVolume",
    "Set_XAN_KaraokeFMicVolume",
    "Set_XAN_KaraokeDMicVolume",
};

ExtensionExports g_extensionExports;

namespace {

// Loads a library with the current directory out of the search: the standard search visits it
// after the system directories, and a copy planted there must not be taken. A library directory
// takes it out without touching it (the current directory belongs to the whole process, and other
// threads may be resolving relative paths meanwhile): the system directory, which the search
// visits anyway, is the library directory for the load, and the default search is given back
// afterwards. A library directory the host has set already keeps the current directory out, and
// is left as it is. When the current directory cannot be taken out, nothing is loaded.
HMODULE LoadWithoutCurrentDirectory(const WCHAR* name) {
    WCHAR setAlready[MAX_PATH];
    if (GetDllDirectoryW(MAX_PATH, setAlready) > 0) {
        return LoadLibraryW(name);
    }
    WCHAR system[MAX_PATH];
    UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !SetDllDirectoryW(system)) {
        return nullptr;
    }
    HMODULE module = LoadLibraryW(name);
    SetDllDirectoryW(nullptr);
    return module;
}

}  // namespace

BOOL LoadExtensionLibrary(EndpointInventory* inventory) {
    inventory->extensionModule = LoadWithoutCurrentDirectory(EXTENSION_LIBRARY_NAME);
    if (!inventory->extensionModule) {
        WCHAR message[MAX_PATH];
        StringCchPrintfW(message, MAX_PATH, L"Can't load file '%ls'\n", EXTENSION_LIBRARY_NAME);
        OutputDebugStringW(message);
        return FALSE;
    }
    return TRUE;
}

BOOL BindExtensionExports(EndpointInventory* inventory) {
    BOOL all = TRUE;
    for (size_t i = 0; i < EXTENSION_EXPORT_COUNT; ++i) {
        g_extensionExports.slots[i] =
            GetProcAddress(inventory->extensionModule, g_extensionExportNames[i]);
        if (!g_extensionExports.slots[i]) {
            all = FALSE;
        }
    }
    return all;
}

void UnloadExtensionLibrary(EndpointInventory* inventory) {
    if (inventory->extensionModule) {
        FreeLibrary(inventory->extensionModule);
        inventory->extensionModule = nullptr;
    }
}
