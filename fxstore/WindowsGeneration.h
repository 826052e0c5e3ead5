#pragma once

#include <windows.h>

// The generation of the audio service's undocumented components that this Windows carries.
enum class AudioServiceGeneration { Vista, Windows7 };

// Asks the Windows version afresh (never cached): 6.0 is Vista, 6.1 Windows 7. E_FAIL for any
// other version or when GetVersionExW fails for both structure sizes.
HRESULT GetAudioServiceGeneration(AudioServiceGeneration* generation);
