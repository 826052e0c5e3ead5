#pragma once

// The framework's core: application, windows, dialogs, controls, GDI objects, data exchange.
#include "CDataExchange.h"
#include "CDialog.h"
#include "CMenu.h"
#include "CWinApp.h"
#include "CWnd.h"
#include "Controls.h"
#include "GdiObjects.h"
#include "afx.h"
