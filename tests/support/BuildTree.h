#pragma once

#include <string>

// A path inside the build tree, e.g. BuildTreePath(L"app\\HalvoSetting.exe"). Worked out from the
// running test program's own path (<build>\tests\program.exe), so it holds wherever the tree was
// cloned.
std::wstring BuildTreePath(const std::wstring& relative);
