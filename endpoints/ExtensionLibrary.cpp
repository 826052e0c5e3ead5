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

// Makes the system directory the current one while a library is loaded, so that the current
// directory, which the standard search visits after the system directories, cannot supply a
// planted copy. The program's own directory and the rest of the search stay as they are.
//
// The current directory belongs to the whole process, not to this thread. This is sound only
// while no other thread of the program resolves a relative path: the probe loads the library on
// the start-up thread before the program starts any thread of its own, and the audio service's
// threads are not the program's. A host that runs threads of its own meanwhile must give them
// absolute paths.
class CSystemDirectoryAsCurrent {
public:
    CSystemDirectoryAsCurrent() {
        // A current directory too long to be put back is not changed, and nothing is loaded.
        DWORD length = GetCurrentDirectoryW(MAX_PATH, m_previous);
        WCHAR system[MAX_PATH];
        UINT systemLength = GetSystemDirectoryW(system, MAX_PATH);
        m_changed = length > 0 && length < MAX_PATH && systemLength > 0 &&
                    systemLength < MAX_PATH && SetCurrentDirectoryW(system);
    }
    CSystemDirectoryAsCurrent(const CSystemDirectoryAsCurrent&) = delete;
    CSystemDirectoryAsCurrent& operator=(const CSystemDirectoryAsCurrent&) = delete;
    ~CSystemDirectoryAsCurrent() {
        if (m_changed) {
            SetCurrentDirectoryW(m_previous);
        }
    }

    // Whether the current directory is out of the way: a load is not attempted otherwise.
    bool Changed() const { return m_changed; }

private:
    WCHAR m_previous[MAX_PATH] = {};
    bool m_changed = false;
};

}  // namespace

BOOL LoadExtensionLibrary(EndpointInventory* inventory) {
    {
        CSystemDirectoryAsCurrent current;
        if (current.Changed()) {
            inventory->extensionModule = LoadLibraryW(EXTENSION_LIBRARY_NAME);
        }
    }
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
