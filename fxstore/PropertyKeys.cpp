// The one place where the Windows audio GUIDs and property keys the system uses are defined.
#include <initguid.h>

#include "fxstore/PropertyKeys.h"
