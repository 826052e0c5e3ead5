#include <gtest/gtest.h>

#include <thread>

#include "endpoints/ExtensionLibrary.h"
#include "sim/audio/MallocSpy.h"
#include "tests/endpoints/InventoryFixture.h"
#include "tests/support/DebugCapture.h"

namespace {

namespace op = sim::audio::op;

class EndpointInventoryTest : public InventoryTest {
protected:
    void TearDown() override {
        CloseEndpointInventory(&inventory);
        EXPECT_EQ(nullptr, GetModuleHandleW(L"XANPropPageExt.dll")) << "library left loaded";
        InventoryTest::TearDown();
    }

    // Open and Build as the probe does; the ids of the records in order.
    std::vector<std::wstring> Build() {
        EXPECT_TRUE(OpenEndpointInventory(&inventory));
        BuildEndpointInventory(&inventory);
        std::vector<std::wstring> ids;
        for (INT_PTR i = 0; i < GetEndpointRecordCount(&inventory); ++i) {
            ids.push_back(GetEndpointRecord(&inventory, i)->endpointId);
        }
        return ids;
    }

    EndpointInventory inventory;
};

using Ids = std::vector<std::wstring>;

TEST_F(EndpointInventoryTest, ListsRenderBeforeCaptureAndOnlyPresentEndpoints) {
    Add(L"mic", eCapture, DEVICE_STATE_ACTIVE, L"Mic (XAN)", L"Mic", Microphone, {});
    Add(L"speakers", eRender, DEVICE_STATE_UNPLUGGED, L"Speakers (XAN)", L"Speakers", Speakers);
    Add(L"gone", eRender, DEVICE_STATE_NOTPRESENT, L"Speakers (XAN)", L"Speakers", Speakers);
    Add(L"off", eRender, DEVICE_STATE_DISABLED, L"HDMI (XAN)", L"HDMI", DigitalAudioDisplayDevice);
    EXPECT_EQ((Ids{L"speakers", L"off", L"mic"}), Build());

    const EndpointRecord* speakers = GetEndpointRecord(&inventory, 0);
    EXPECT_EQ(static_cast<UINT32>(eRender), speakers->dataFlow);
    EXPECT_STREQ(L"Speakers (XAN)", speakers->friendlyName);
    EXPECT_STREQ(L"Speakers", speakers->description);
    EXPECT_EQ(0, speakers->kind);
    EXPECT_NE(nullptr, speakers->device);
    EXPECT_EQ(static_cast<UINT32>(eCapture), GetEndpointRecord(&inventory, 2)->dataFlow);
    EXPECT_EQ(nullptr, GetEndpointRecord(&inventory, 3));
}

TEST_F(EndpointInventoryTest, AMachineWithoutEndpointsListsNothing) {
    Add(L"gone", eRender, DEVICE_STATE_NOTPRESENT, L"Speakers (XAN)", L"Speakers", Speakers);
    EXPECT_EQ(Ids{}, Build());
}

TEST_F(EndpointInventoryTest, AnIdSeenBeforeGetsNoSecondRecord) {
    Add(L"twice", eRender, DEVICE_STATE_ACTIVE, L"XAN A", L"A", Speakers);
    Add(L"twice", eRender, DEVICE_STATE_ACTIVE, L"XAN B", L"B", Speakers);
    Add(L"twice", eCapture, DEVICE_STATE_ACTIVE, L"XAN C", L"C", Microphone);
    Add(L"once", eCapture, DEVICE_STATE_ACTIVE, L"XAN D", L"D", Microphone);
    EXPECT_EQ((Ids{L"twice", L"once"}), Build());
    EXPECT_EQ(static_cast<UINT32>(eRender), GetEndpointRecord(&inventory, 0)->dataFlow);
}

TEST_F(EndpointInventoryTest, AFailedPassLeavesTheOtherPasssRecords) {
    Add(L"speakers", eRender, DEVICE_STATE_ACTIVE, L"XAN", L"Speakers", Speakers);
    Add(L"mic", eCapture, DEVICE_STATE_ACTIVE, L"XAN", L"Mic", Microphone);
    sim->FailOn(op::EnumAudioEndpoints, E_OUTOFMEMORY, 1);
    EXPECT_EQ((Ids{L"mic"}), Build());
}

TEST_F(EndpointInventoryTest, EndpointsThatCannotBeFetchedAreSkipped) {
    Add(L"a", eRender, DEVICE_STATE_ACTIVE, L"XAN", L"A", Speakers);
    Add(L"b", eRender, DEVICE_STATE_ACTIVE, L"XAN", L"B", Speakers);
    Add(L"c", eRender, DEVICE_STATE_ACTIVE, L"XAN", L"C", Speakers);
    sim->FailOn(op::CollectionItem, E_FAIL, 1);
    sim->FailOn(op::GetId, E_OUTOFMEMORY, 1);  // b's id
    sim->SucceedWithNull(op::GetId, 2);        // c's id
    EXPECT_EQ(Ids{}, Build());
}

TEST_F(EndpointInventoryTest, NamesAreCutToFitAndMissingOnesMarked) {
    std::wstring longName(300, L'n');
    longName.replace(0, 3, L"XAN");
    Add(L"long", eRender, DEVICE_STATE_ACTIVE, longName, std::wstring(400, L'd'), Speakers);
    Add(L"unnamed", eRender, DEVICE_STATE_ACTIVE, {}, {}, Speakers);
    Add(L"odd", eRender, DEVICE_STATE_ACTIVE, {}, {}, Speakers);
    sim->SetProperty(Store::Endpoint, L"odd", PKEY_Device_FriendlyName, Value::UInt32(7));
    Build();

    const EndpointRecord* cut = GetEndpointRecord(&inventory, 0);
    EXPECT_EQ(longName.substr(0, 259), cut->friendlyName);
    EXPECT_EQ(std::wstring(259, L'd'), cut->description);
    for (INT_PTR i : {1, 2}) {
        const EndpointRecord* record = GetEndpointRecord(&inventory, i);
        EXPECT_STREQ(L"<Device not available>", record->friendlyName) << i;
        EXPECT_STREQ(L"<Device not available>", record->description) << i;
        EXPECT_EQ(16, record->kind) << i;  // not the maker's by name
    }
}

TEST_F(EndpointInventoryTest, AnIdTooLongForARecordIsSkipped) {
    std::wstring longId(260, L'i');
    Add(longId, eRender, DEVICE_STATE_ACTIVE, L"XAN", L"Speakers", Speakers);
    Add(L"fits", eRender, DEVICE_STATE_ACTIVE, L"XAN", L"Speakers", Speakers);
    EXPECT_EQ(Ids{L"fits"}, Build());
}

TEST_F(EndpointInventoryTest, AnEndpointWithoutMemoryForItsRecordIsSkipped) {
    Add(L"a", eRender, DEVICE_STATE_ACTIVE, L"XAN", L"A", Speakers);
    Add(L"b", eRender, DEVICE_STATE_ACTIVE, L"XAN", L"B", Speakers);
    ASSERT_TRUE(OpenEndpointInventory(&inventory));
    sim::audio::FailCoTaskMemAllocs(sizeof(EndpointRecord), 1);
    BuildEndpointInventory(&inventory);
    ASSERT_EQ(1, GetEndpointRecordCount(&inventory));
    EXPECT_STREQ(L"b", GetEndpointRecord(&inventory, 0)->endpointId);
}

TEST_F(EndpointInventoryTest, OpenBindsEveryExportAndKeepsTheLibraryUntilClose) {
    ASSERT_TRUE(OpenEndpointInventory(&inventory));
    EXPECT_NE(nullptr, inventory.extensionModule);
    EXPECT_EQ(inventory.extensionModule, GetModuleHandleW(L"XANPropPageExt.dll"));
    ASSERT_EQ(91u, std::size(g_extensionExports.slots));
    for (size_t i = 0; i < 91; ++i) {
        EXPECT_NE(nullptr, g_extensionExports.slots[i]) << g_extensionExportNames[i];
    }
    CloseEndpointInventory(&inventory);
    EXPECT_EQ(nullptr, inventory.extensionModule);
    EXPECT_EQ(nullptr, GetModuleHandleW(L"XANPropPageExt.dll"));
}

TEST_F(EndpointInventoryTest, AnyMissingOrMisspelledExportFailsOpenAndUnloads) {
    for (const wchar_t* variant : {L"missing-last", L"missing-middle", L"wrong-case"}) {
        ScopedDllDirectory defective(ExtensionVariantDir(variant).c_str());
        ZeroMemory(&g_extensionExports, sizeof g_extensionExports);
        EndpointInventory defectiveInventory;
        EXPECT_FALSE(OpenEndpointInventory(&defectiveInventory)) << variant;
        EXPECT_EQ(nullptr, defectiveInventory.extensionModule) << variant;
        EXPECT_EQ(nullptr, GetModuleHandleW(L"XANPropPageExt.dll")) << variant;
        // Every lookup was still made: the exports around the missing one are bound.
        EXPECT_NE(nullptr, g_extensionExports.slots[0]) << variant;
        EXPECT_NE(nullptr, g_extensionExports.slots[89]) << variant;
        CloseEndpointInventory(&defectiveInventory);
    }
}

TEST_F(EndpointInventoryTest, WithoutTheLibraryOpenFailsAfterTheEnumerator) {
    ScopedDllDirectory nowhere(ExtensionVariantDir(L"none").c_str());
    ScopedDebugCapture debug;
    EXPECT_FALSE(OpenEndpointInventory(&inventory));
    EXPECT_NE(nullptr, inventory.deviceEnumerator);
    EXPECT_EQ(1, sim->Calls(op::CreateDeviceEnumerator));
    EXPECT_EQ(std::vector<std::string>{"Can't load file 'XANPropPageExt.dll'\n"}, debug.Lines());
}

TEST_F(EndpointInventoryTest, WithoutTheEnumeratorTheLibraryIsNotTouched) {
    sim->FailOn(op::CreateDeviceEnumerator, REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(OpenEndpointInventory(&inventory));
    EXPECT_EQ(nullptr, inventory.deviceEnumerator);
    EXPECT_EQ(nullptr, inventory.extensionModule);
    BuildEndpointInventory(&inventory);
    EXPECT_EQ(0, GetEndpointRecordCount(&inventory));
}

TEST_F(EndpointInventoryTest, ACopyPlantedInTheCurrentDirectoryIsNotLoaded) {
    // The standard search, with no library directory (which would take the current directory
    // out of the search by itself), and the complete library as the current directory.
    SetDllDirectoryW(nullptr);
    WCHAR previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    std::wstring planted = ExtensionVariantDir(L"full");
    ASSERT_TRUE(SetCurrentDirectoryW(planted.c_str()));
    BOOL opened = OpenEndpointInventory(&inventory);
    WCHAR after[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, after);
    SetCurrentDirectoryW(previous);
    SetDllDirectoryW(ExtensionVariantDir(L"full").c_str());
    EXPECT_FALSE(opened);
    EXPECT_STREQ(planted.c_str(), after);  // the current directory is given back
}

// Runs Open and Close on a thread of its own and tells whether COM was left as it was found.
bool BalancesCom(std::function<void(EndpointInventory*)> between) {
    bool balanced = false;
    std::thread([&] {
        EndpointInventory inventory;
        OpenEndpointInventory(&inventory);
        between(&inventory);
        CloseEndpointInventory(&inventory);
        // A first initialisation answers S_OK only when Close left nothing behind.
        HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        balanced = hr == S_OK;
        if (SUCCEEDED(hr)) {
            CoUninitialize();
        }
    }).join();
    return balanced;
}

TEST_F(EndpointInventoryTest, CloseBalancesComAfterAWholeOrPartialOpen) {
    Add(L"speakers", eRender, DEVICE_STATE_ACTIVE, L"XAN", L"Speakers", Speakers);
    EXPECT_TRUE(BalancesCom([](EndpointInventory* opened) {
        EXPECT_TRUE(opened->comInitialized);
        BuildEndpointInventory(opened);
    }));
    ScopedDllDirectory nowhere(ExtensionVariantDir(L"none").c_str());
    EXPECT_TRUE(BalancesCom([](EndpointInventory*) {}));
    sim->FailOn(op::CreateDeviceEnumerator, E_OUTOFMEMORY);
    EXPECT_TRUE(BalancesCom([](EndpointInventory*) {}));
}

// A class object that refuses to make anything: registered on a single-threaded apartment, it
// keeps that thread from reaching Wine's own device enumerator, which the test has no use for.
class RefusingFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory) ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void** out) override {
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

TEST_F(EndpointInventoryTest, OnAThreadInTheOtherApartmentOpenJoinsItOnce) {
    bool balanced = false;
    std::thread([&] {
        ASSERT_EQ(Hr(S_OK), Hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        RefusingFactory factory;
        DWORD cookie = 0;
        CoRegisterClassObject(CLSID_MMDeviceEnumerator, &factory, CLSCTX_INPROC_SERVER,
                              REGCLS_MULTIPLEUSE, &cookie);
        EndpointInventory apartment;
        EXPECT_FALSE(OpenEndpointInventory(&apartment));
        EXPECT_TRUE(apartment.comInitialized);
        CloseEndpointInventory(&apartment);
        CoRevokeClassObject(cookie);
        // The thread's own initialisation is all that is left.
        CoUninitialize();
        HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        balanced = hr == S_OK;
        if (SUCCEEDED(hr)) {
            CoUninitialize();
        }
    }).join();
    EXPECT_TRUE(balanced);
}

}  // namespace
