// Definitions of the Windows audio GUIDs and property keys the service uses.
#include <initguid.h>

#include <mmdeviceapi.h>
#include <devicetopology.h>
