#pragma once

#include <windows.h>

// The generation of the audio service's undocumented components that this Windows carries.
enum class AudioServiceGeneration { Vista, Windows7 };

// Asks the Windows version afresh (never cached): 6.0 is Vista, 6.1 Windows 7. E_FAIL for any
// other version or when GetVersionExW fails for both structure sizes.
HRESULT GetAudioServiceGeneration(AudioServiceGeneration* generation);

// The two halves of GetAudioServiceGeneration, for a caller that also wants to say which version
// it met. ReadWindowsVersion asks GetVersionExW with the extended structure and then with the
// plain one; FALSE when both fail.
BOOL ReadWindowsVersion(DWORD* major, DWORD* minor);
// The generation of a version: E_FAIL for anything but 6.0 and 6.1.
HRESULT AudioServiceGenerationOf(DWORD major, DWORD minor, AudioServiceGeneration* generation);
