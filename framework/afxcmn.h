#pragma once

// The common controls the program uses (the trackbar).
#include "Controls.h"
#include "afxwin.h"
