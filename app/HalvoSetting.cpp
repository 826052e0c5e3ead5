// The one application object of HalvoSetting.exe.
#include "app/PropertyPageApp.h"

CPropertyPageApp theApp;
