#include "fxstore/WindowsGeneration.h"

#include "platform/Platform.h"

BOOL ReadWindowsVersion(DWORD* major, DWORD* minor) {
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
    if (!platform::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
        // Older systems only know the plain structure.
        info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
        if (!platform::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
            return FALSE;
        }
    }
    *major = info.dwMajorVersion;
    *minor = info.dwMinorVersion;
    return TRUE;
}

HRESULT AudioServiceGenerationOf(DWORD major, DWORD minor, AudioServiceGeneration* generation) {
    if (major != 6) {
        return E_FAIL;
    }
    switch (minor) {
        case 0: *generation = AudioServiceGeneration::Vista; return S_OK;
        case 1: *generation = AudioServiceGeneration::Windows7; return S_OK;
        default: return E_FAIL;
    }
}

HRESULT GetAudioServiceGeneration(AudioServiceGeneration* generation) {
    DWORD major = 0;
    DWORD minor = 0;
    if (!ReadWindowsVersion(&major, &minor)) {
        return E_FAIL;
    }
    return AudioServiceGenerationOf(major, minor, generation);
}
