// Definitions of the Windows GUIDs and property keys the inventory uses.
#include <initguid.h>

#include <windows.h>
#include <mmdeviceapi.h>
#include <devicetopology.h>
#include <functiondiscoverykeys_devpkey.h>
