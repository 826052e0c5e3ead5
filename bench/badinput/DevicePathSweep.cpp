// Device paths of any length and any units: the path rules on a guarded copy of each path, and
// discovery through the codec driver stand-in, which must keep the last interface whose path ends
// within its detail block, is shorter than MAX_PATH and names a supported codec.
#include <string>
#include <vector>

#include "bench/badinput/GuardedMemory.h"
#include "bench/badinput/GuardingMallocSpy.h"
#include "bench/badinput/Kinds.h"
#include "driver/CodecPath.h"
#include "driver/HDAudDevice.h"
#include "platform/Platform.h"
#include "sim/driver/CodecDriver.h"

namespace badinput {
namespace {

const std::wstring kClass = L"{5b2e0c71-3a94-4f16-b8d3-0e7c91a4f258}";

// The pieces a path is made of: the ones the rules look for, near misses, and the usual rest.
const std::vector<std::wstring> kPieces = {
    kClass,
    L"{5B2E0C71-3A94-4F16-B8D3-0E7C91A4F258}",
    L"{5b2e0c71-3a94-4f16-b8d3-0e7c91a4f25",
    L"ven_9e5b&dev_4c2",
    L"ven_9e5b&dev_b36",
    L"ven_9e5b&dev_b37",
    L"ven_9e5b&dev_4c",
    L"VEN_9E5B&DEV_B36",
    L"ven_9e5b&dev_",
    L"ven_9e5b&dev_c583",
    L"ven_9e5b&dev_c58",
    L"ven_1234&dev_0615",
    L"xanwdm",
    L"xanwd",
    L"XANWDM",
    L"\\\\?\\hdaudio#func_01&",
    L"&subsys_1025034a&rev_1001#4&2d5c1b7e&0&0001#",
    L"\\elineoutwave",
    L"#",
    L"&",
};
// Device numbers that differ from a listed one in any unit but the first, or not at all.
const std::vector<std::wstring> kNumbers = {L"615", L"587", L"731", L"246", L"809",
                                            L"372", L"953", L"614", L"58",  L"0"};

// One unit of any value but 0 (0 ends the path and is placed on purpose).
wchar_t AnyUnit(Random& random) {
    switch (random.Between(0, 3)) {
        case 0: return static_cast<wchar_t>(random.Between(1, 0xFFFF));
        case 1: return static_cast<wchar_t>(random.Between(0xD800, 0xDFFF));
        default: return static_cast<wchar_t>(random.Between(0x20, 0x7E));
    }
}

std::wstring MakePath(Random& random) {
    size_t length;
    switch (random.Between(0, 5)) {
        case 0: length = random.Between(0, 40); break;
        case 1: length = random.Between(255, 265); break;  // around MAX_PATH
        case 2: length = random.Between(261, 1200); break;
        default: length = random.Between(40, 260); break;
    }
    std::wstring path;
    while (path.size() < length) {
        switch (random.Between(0, 4)) {
            case 0: path += AnyUnit(random); break;
            case 1:
                path += L"ven_9e5b&dev_";
                path += AnyUnit(random);
                path += random.Pick(kNumbers);
                break;
            default: path += random.Pick(kPieces); break;
        }
    }
    // Cut to the length, which may split a piece; sometimes the class goes last, so the cut may
    // split that too.
    if (random.OneIn(4) && length >= kClass.size()) {
        path.replace(length - kClass.size(), kClass.size(), kClass);
    }
    path.resize(length);
    if (random.OneIn(16) && length > 0) {
        path[random.Between(0, length - 1)] = L'\0';
    }
    return path;
}

// The rules, written out once more: the class text, and a family, a listed device number (any
// unit in its first place) or the driver's name.
bool ReferenceRules(const std::wstring& path) {
    if (path.find(kClass) == std::wstring::npos) {
        return false;
    }
    for (const wchar_t* family : {L"ven_9e5b&dev_4c2", L"ven_9e5b&dev_b36", L"ven_9e5b&dev_b37",
                                  L"ven_9e5b&dev_c583", L"xanwdm"}) {
        if (path.find(family) != std::wstring::npos) {
            return true;
        }
    }
    const std::wstring prefix = L"ven_9e5b&dev_";
    for (size_t at = path.find(prefix); at != std::wstring::npos; at = path.find(prefix, at + 1)) {
        size_t number = at + prefix.size() + 1;  // past the unit that may be anything
        if (number + 3 > path.size()) {
            break;
        }
        std::wstring digits = path.substr(number, 3);
        for (const wchar_t* listed : {L"615", L"587", L"731", L"246", L"809", L"372", L"953"}) {
            if (digits == listed) {
                return true;
            }
        }
    }
    return false;
}

// The path as the system reads it: up to its first 0.
std::wstring AsRead(const std::wstring& path) {
    return path.substr(0, path.find(L'\0'));
}

bool AcceptedReference(const std::wstring& path) {
    std::wstring read = AsRead(path);
    return read.size() < MAX_PATH && ReferenceRules(read);
}

}  // namespace

bool SweepDevicePaths(const SweepOptions& options) {
    Random random(options.seed ^ 0x70617468);
    Tally tally("bad device paths");
    ProcessHoldings holdings;
    const std::vector<sim::driver::SizeAnswer> sizeAnswers = {
        sim::driver::SizeAnswer::InsufficientBuffer,
        sim::driver::SizeAnswer::InsufficientBuffer,
        sim::driver::SizeAnswer::Success,
        sim::driver::SizeAnswer::ZeroSize,
        sim::driver::SizeAnswer::TinySize,
        sim::driver::SizeAnswer::NoTerminator};
    std::string leftovers;

    for (size_t i = 0; i < options.count; ++i) {
        SetCurrentInput("bad device paths", i);
        std::vector<std::wstring> paths = {MakePath(random)};
        for (size_t more = random.Between(0, 2); more > 0; --more) {
            paths.insert(paths.begin() + random.Between(0, paths.size()), MakePath(random));
        }
        std::vector<std::string> mismatches;
        for (const std::wstring& path : paths) {
            bool expected = ReferenceRules(AsRead(path));
            if (IsSupportedCodecPath(GuardedText(path).Get()) != expected) {
                mismatches.push_back("rules " + std::string(expected ? "refused" : "accepted") +
                                     " \"" + Narrow(path) + "\"");
            }
        }

        // Discovery keeps the last accepted interface; the detail blocks it reads are guarded.
        sim::driver::SizeAnswer sizeAnswer = random.Pick(sizeAnswers);
        std::wstring expected;
        bool found = false;
        // Without its terminator a path ends within its block only at a 0 of its own.
        bool terminated = sizeAnswer != sim::driver::SizeAnswer::NoTerminator;
        if (sizeAnswer == sim::driver::SizeAnswer::InsufficientBuffer ||
            sizeAnswer == sim::driver::SizeAnswer::Success || !terminated) {
            for (const std::wstring& path : paths) {
                if (AcceptedReference(path) && (terminated || AsRead(path) != path)) {
                    expected = AsRead(path);
                    found = true;
                }
            }
        }
        {
            sim::driver::ScopedCodecDriver driver;
            for (const std::wstring& path : paths) {
                driver.AddInterface(path);
            }
            driver.SetSizeAnswer(sizeAnswer);
            HDAudDeviceInfo device = {};
            {
                ScopedCoTaskMemGuard guard;
                FindHDAudDevice(&device, platform::SetupDiCreateDeviceInfoList(nullptr, nullptr));
            }
            if (found != (device.interfaceDetail != nullptr)) {
                mismatches.push_back(std::string("discovery ") + (found ? "missed" : "found") +
                                     " a device among " + std::to_string(paths.size()) +
                                     " paths, last \"" + Narrow(paths.back()) + "\"");
            } else if (found && expected != device.interfaceDetail->DevicePath) {
                mismatches.push_back("discovery kept \"" +
                                     Narrow(device.interfaceDetail->DevicePath) + "\"");
            }
            ReleaseHDAudDevice(&device);
            std::string left = driver.Leftovers();
            if (!left.empty()) {
                mismatches.push_back("driver: " + left);
                leftovers = left;
            }
        }
        tally.Judge(mismatches);
    }

    holdings.LeftBehindSince(tally);
    tally.LeftBehind("driver stand-in leftovers", leftovers.empty() ? 0 : 1, leftovers);
    return tally.Report(options.count);
}

}  // namespace badinput
