// Definitions of the Windows audio GUIDs and property keys the service and its tests use.
#include <initguid.h>

#include <mmdeviceapi.h>
#include <devicetopology.h>
#include <functiondiscoverykeys_devpkey.h>
