#pragma once

// Property sheets and pages.
#include "CPropertyPage.h"
#include "CPropertySheet.h"
#include "afxwin.h"
