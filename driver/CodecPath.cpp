// Which device paths belong to a supported codec: the accepted hardware identifiers, matched as
// substrings or as patterns with one wildcard unit, and the maker's driver name.
#include "driver/CodecPath.h"

#include <cwchar>

namespace {

// The interface class as the system writes it into every interface path.
constexpr WCHAR kClassText[] = L"{5b2e0c71-3a94-4f16-b8d3-0e7c91a4f258}";

// Codec families recognised by the start of their device number.
constexpr const WCHAR* kFamilyIds[] = {
    L"ven_9e5b&dev_4c2",
    L"ven_9e5b&dev_b36",
    L"ven_9e5b&dev_b37",
};

// Codecs recognised by their device number; X stands for any one unit, so that one pattern
// covers every number that differs only in its first digit.
constexpr const WCHAR* kDevicePatterns[] = {
    L"ven_9e5b&dev_X615", L"ven_9e5b&dev_X587", L"ven_9e5b&dev_X731", L"ven_9e5b&dev_c583",
    L"ven_9e5b&dev_X246", L"ven_9e5b&dev_X809", L"ven_9e5b&dev_X372", L"ven_9e5b&dev_X953",
};
constexpr size_t kPatternLength = 17;

// The base name of the maker's codec driver: a path that names it is accepted whatever codec.
constexpr WCHAR kDriverName[] = L"xanwdm";

bool MatchesAt(const WCHAR* text, const WCHAR* pattern) {
    for (size_t i = 0; i < kPatternLength; ++i) {
        if (pattern[i] != L'X' && pattern[i] != text[i]) {
            return false;
        }
    }
    return true;
}

bool ContainsPattern(const WCHAR* path, size_t length, const WCHAR* pattern) {
    for (size_t start = 0; start + kPatternLength <= length; ++start) {
        if (MatchesAt(path + start, pattern)) {
            return true;
        }
    }
    return false;
}

bool NamesSupportedHardware(const WCHAR* path) {
    for (const WCHAR* family : kFamilyIds) {
        if (std::wcsstr(path, family)) {
            return true;
        }
    }
    size_t length = std::wcslen(path);
    if (length < kPatternLength) {
        return false;
    }
    for (const WCHAR* pattern : kDevicePatterns) {
        if (ContainsPattern(path, length, pattern)) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool IsSupportedCodecPath(const WCHAR* devicePath) {
    if (!std::wcsstr(devicePath, kClassText)) {
        return false;
    }
    return NamesSupportedHardware(devicePath) || std::wcsstr(devicePath, kDriverName);
}
