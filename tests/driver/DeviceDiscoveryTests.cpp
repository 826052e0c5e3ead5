#include <gtest/gtest.h>

#include <cstring>

#include "driver/HDAudDevice.h"
#include "platform/Platform.h"
#include "tests/driver/DriverFixture.h"

namespace {

using sim::driver::SizeAnswer;

class DeviceDiscovery : public DriverTest {
protected:
    // One discovery as the callers make it; the path found, or "" when none was.
    std::wstring Find() {
        HDEVINFO spare = platform::SetupDiCreateDeviceInfoList(nullptr, nullptr);
        HDAudDeviceInfo info = {};
        EXPECT_EQ(Hr(S_OK), Hr(FindHDAudDevice(&info, spare)));
        std::wstring path = info.interfaceDetail ? info.interfaceDetail->DevicePath : L"";
        ReleaseHDAudDevice(&info);
        EXPECT_EQ(nullptr, info.interfaceDetail);
        return path;
    }
};

TEST_F(DeviceDiscovery, FindsTheSupportedCodecAndCopiesItsWholeDetailBlock) {
    driver.AddInterface(CodecPath(L"ven_1234&dev_0615"));
    driver.AddInterface(kSupportedPath);

    HDEVINFO spare = platform::SetupDiCreateDeviceInfoList(nullptr, nullptr);
    HDAudDeviceInfo info = {};
    EXPECT_EQ(Hr(S_OK), Hr(FindHDAudDevice(&info, spare)));
    ASSERT_NE(nullptr, info.interfaceDetail);
    EXPECT_EQ(8u, info.interfaceDetail->cbSize);  // the fixed part on 64-bit Windows
    EXPECT_EQ(kSupportedPath, info.interfaceDetail->DevicePath);
    // The block is as large as the system asked for: the size field, the path and its NUL.
    IMalloc* allocator = nullptr;
    ASSERT_EQ(Hr(S_OK), Hr(CoGetMalloc(1, &allocator)));
    EXPECT_EQ(4 + (kSupportedPath.size() + 1) * sizeof(WCHAR),
              allocator->GetSize(info.interfaceDetail));
    allocator->Release();
    ReleaseHDAudDevice(&info);
    EXPECT_EQ(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, driver.LastClassDevsFlags());
    EXPECT_EQ(0, driver.Count("CreateFileW"));
}

TEST_F(DeviceDiscovery, EveryInterfaceIsExaminedAtIndexZeroAndDeleted) {
    driver.AddInterface(CodecPath(L"ven_1234&dev_0001"));
    driver.AddInterface(kSupportedPath);
    driver.AddInterface(CodecPath(L"ven_1234&dev_0002"));
    EXPECT_EQ(kSupportedPath, Find());
    EXPECT_EQ(4, driver.Count("SetupDiEnumDeviceInterfaces 0"));
    EXPECT_EQ(3, driver.Count("SetupDiDeleteDeviceInterfaceData"));
    EXPECT_EQ(1, driver.Count("SetupDiDestroyDeviceInfoList class"));
    EXPECT_EQ(1, driver.Count("SetupDiDestroyDeviceInfoList spare"));
}

TEST_F(DeviceDiscovery, TheLaterOfTwoAcceptedInterfacesWins) {
    std::wstring first = CodecPath(L"ven_9e5b&dev_4c21");
    std::wstring second = CodecPath(L"ven_9e5b&dev_b372");
    driver.AddInterface(first);
    driver.AddInterface(second);
    EXPECT_EQ(second, Find());
}

TEST_F(DeviceDiscovery, NothingAcceptedStillSucceedsAndDestroysTheSpareSet) {
    driver.AddInterface(CodecPath(L"VEN_9E5B&DEV_0615"));
    EXPECT_EQ(L"", Find());
    EXPECT_EQ(1, driver.Count("SetupDiDestroyDeviceInfoList spare"));
    driver.ClearInterfaces();
    EXPECT_EQ(L"", Find());
    EXPECT_EQ(2, driver.Count("SetupDiDestroyDeviceInfoList spare"));
}

TEST_F(DeviceDiscovery, AFailingInterfaceIsSkippedAndTheNextOneExamined) {
    for (Step step : {Step::SizeQuery, Step::DetailCall}) {
        driver.ClearInterfaces();
        driver.AddInterface(CodecPath(L"ven_9e5b&dev_4c21"));
        driver.AddInterface(kSupportedPath);
        driver.Fail(step, ERROR_ACCESS_DENIED, 1);
        EXPECT_EQ(kSupportedPath, Find()) << static_cast<int>(step);
    }
}

TEST_F(DeviceDiscovery, TheSizeQueryMayAnswerSuccessButNotZero) {
    driver.AddInterface(kSupportedPath);
    driver.SetSizeAnswer(SizeAnswer::Success);
    EXPECT_EQ(kSupportedPath, Find());
    driver.SetSizeAnswer(SizeAnswer::ZeroSize);
    EXPECT_EQ(L"", Find());
    // No block was asked for after the size of 0, nor after one too small for a block.
    driver.SetSizeAnswer(SizeAnswer::TinySize);
    EXPECT_EQ(L"", Find());
    EXPECT_EQ(1, driver.Count("SetupDiGetDeviceInterfaceDetailW"));
}

TEST_F(DeviceDiscovery, AFailedClassSetOrEnumerationFindsNothing) {
    driver.AddInterface(kSupportedPath);
    driver.Fail(Step::GetClassDevs, ERROR_INVALID_DATA, 1);
    EXPECT_EQ(L"", Find());
    driver.Fail(Step::EnumInterfaces, ERROR_INVALID_DATA, 1);
    EXPECT_EQ(L"", Find());
    EXPECT_EQ(kSupportedPath, Find());
}

TEST_F(DeviceDiscovery, AnInterfaceThatCannotBeDeletedIsNotExaminedForever) {
    driver.AddInterface(CodecPath(L"ven_1234&dev_0001"));
    driver.AddInterface(kSupportedPath);
    driver.Fail(Step::DeleteInterfaceData, ERROR_ACCESS_DENIED);
    EXPECT_EQ(kSupportedPath, Find());
    EXPECT_EQ(2, driver.Count("SetupDiGetDeviceInterfaceDetailW"));
}

// A size that leaves out the terminator makes a block the path fills to its last unit: whoever
// opened that path would read past the block. Such an interface is skipped (the path itself is
// never read here: it has no end).
TEST_F(DeviceDiscovery, APathThatFillsItsBlockIsSkipped) {
    driver.AddInterface(kSupportedPath);
    driver.SetSizeAnswer(SizeAnswer::NoTerminator);
    HDAudDeviceInfo info = {};
    EXPECT_EQ(Hr(S_OK),
              Hr(FindHDAudDevice(&info, platform::SetupDiCreateDeviceInfoList(nullptr, nullptr))));
    EXPECT_EQ(nullptr, info.interfaceDetail);
    ReleaseHDAudDevice(&info);
    EXPECT_EQ(1, driver.Count("SetupDiGetDeviceInterfaceDetailW"));
}

// A null record gets E_POINTER; nothing is enumerated, and the spare set goes all the same.
TEST_F(DeviceDiscovery, ANullRecordIsRefused) {
    driver.AddInterface(kSupportedPath);
    HDEVINFO spare = platform::SetupDiCreateDeviceInfoList(nullptr, nullptr);
    EXPECT_EQ(Hr(E_POINTER), Hr(FindHDAudDevice(nullptr, spare)));
    EXPECT_EQ(0, driver.Count("SetupDiGetClassDevsW"));
    EXPECT_EQ(1, driver.Count("SetupDiDestroyDeviceInfoList spare"));
}

TEST_F(DeviceDiscovery, APathOfMaxPathUnitsOrMoreIsSkipped) {
    std::wstring longest = CodecPath(L"ven_9e5b&dev_0615");
    longest.insert(longest.find(L"#{"), MAX_PATH - 1 - longest.size(), L'0');
    ASSERT_EQ(259u, longest.size());
    driver.AddInterface(longest);
    EXPECT_EQ(longest, Find());

    std::wstring tooLong = longest;
    tooLong.insert(tooLong.find(L"#{"), 1, L'0');
    driver.ClearInterfaces();
    driver.AddInterface(tooLong);
    EXPECT_EQ(L"", Find());
}

}  // namespace
