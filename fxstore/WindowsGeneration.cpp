#include "fxstore/WindowsGeneration.h"

#include "platform/Platform.h"

HRESULT GetAudioServiceGeneration(AudioServiceGeneration* generation) {
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
    if (!platform::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
        // Older systems only know the plain structure.
        info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
        if (!platform::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
            return E_FAIL;
        }
    }
    if (info.dwMajorVersion != 6) {
        return E_FAIL;
    }
    switch (info.dwMinorVersion) {
        case 0: *generation = AudioServiceGeneration::Vista; return S_OK;
        case 1: *generation = AudioServiceGeneration::Windows7; return S_OK;
        default: return E_FAIL;
    }
}
