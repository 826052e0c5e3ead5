#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "endpoints/ExtensionLibrary.h"
#include "sim/audio/MallocSpy.h"
#include "tests/endpoints/InventoryFixture.h"
#include "tests/support/DebugCapture.h"
#include "tests/support/InitializeSpy.h"

namespace {

namespace op = sim::audio::op;

class EndpointInventoryTest : public InventoryTest {
protected:
    void TearDown() override {
        CloseEndpointInventory(&inventory);
        EXPECT_EQ(nullptr, GetModuleHandleW(L"XANPropPageExt.dll")) << "library left loaded";
        InventoryTest::TearDown();
    }

    // Open and Build as the probe does (after closing what an earlier call built); the ids of
    // the records in order.
    std::vector<std::wstring> Build() {
        CloseEndpointInventory(&inventory);
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
    ASSERT_EQ((Ids{L"speakers", L"off", L"mic"}), Build());

    const EndpointRecord* speakers = GetEndpointRecord(&inventory, 0);
    EXPECT_EQ(static_cast<UINT32>(eRender), speakers->dataFlow);
    EXPECT_STREQ(L"Speakers (XAN)", speakers->friendlyName);
    EXPECT_STREQ(L"Speakers", speakers->description);
    EXPECT_EQ(0, speakers->kind);
    EXPECT_NE(nullptr, speakers->device);
    EXPECT_EQ(static_cast<UINT32>(eCapture), GetEndpointRecord(&inventory, 2)->dataFlow);
    EXPECT_EQ(nullptr, GetEndpointRecord(&inventory, 3));
}

TEST_F(EndpointInventoryTest, RecordsStartZeroedAndHoldADeviceOfTheirOwn) {
    // Two endpoints no rule gives a kind.
    Add(L"handset", eRender, DEVICE_STATE_ACTIVE, L"XAN Handset", L"Handset", Handset);
    Add(L"spdif-in", eCapture, DEVICE_STATE_UNPLUGGED, L"In (Other)", L"SPDIF", SPDIF);
    ASSERT_EQ((Ids{L"handset", L"spdif-in"}), Build());
    EXPECT_EQ(2, sim::audio::LiveObjects(sim::audio::ObjectKind::Device));
    for (INT_PTR i = 0; i < 2; ++i) {
        const EndpointRecord* record = GetEndpointRecord(&inventory, i);
        EXPECT_EQ(0, record->kind) << i;
        DWORD state = 0;
        EXPECT_EQ(Hr(S_OK), Hr(record->device->GetState(&state))) << i;
        EXPECT_EQ(i == 0 ? DEVICE_STATE_ACTIVE : DEVICE_STATE_UNPLUGGED, state) << i;
    }
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
    struct Case {
        const char* operation;
        int pass;  // 1 render, 2 capture
        Ids left;
    };
    for (const Case& c :
         {Case{op::EnumAudioEndpoints, 1, {L"mic"}}, Case{op::EnumAudioEndpoints, 2, {L"speakers"}},
          Case{op::CollectionGetCount, 1, {L"mic"}},
          Case{op::CollectionGetCount, 2, {L"speakers"}}}) {
        sim->ClearFailures();
        sim->FailOn(c.operation, E_FAIL, c.pass);
        EXPECT_EQ(c.left, Build()) << c.operation << " in pass " << c.pass;
    }
}

TEST_F(EndpointInventoryTest, IdsDifferingInCaseOrLengthAreNotDuplicates) {
    for (const wchar_t* id : {L"dup", L"DUP", L"dup2", L"du"}) {
        Add(id, eRender, DEVICE_STATE_ACTIVE, L"XAN", L"Speakers", Speakers);
    }
    EXPECT_EQ((Ids{L"dup", L"DUP", L"dup2", L"du"}), Build());
}

TEST_F(EndpointInventoryTest, EachNameIsReadFromAStoreOfItsOwn) {
    Add(L"speakers", eRender, DEVICE_STATE_ACTIVE, L"Speakers (XAN)", L"Speakers", Speakers);
    // Description, friendly name, form factor: a store each.
    Build();
    EXPECT_EQ(3, sim->Calls(op::OpenPropertyStore));
    const wchar_t* const kNotAvailable = L"<Device not available>";
    struct Case {
        const char* operation;
        int nth;
        const wchar_t *description, *friendlyName;
    };
    for (const Case& c : {Case{op::OpenPropertyStore, 1, kNotAvailable, L"Speakers (XAN)"},
                          Case{op::EndpointStoreGetValue, 2, L"Speakers", kNotAvailable}}) {
        sim->ClearFailures();
        sim->FailOn(c.operation, E_ACCESSDENIED, c.nth);
        ASSERT_EQ(Ids{L"speakers"}, Build());
        EXPECT_STREQ(c.description, GetEndpointRecord(&inventory, 0)->description) << c.operation;
        EXPECT_STREQ(c.friendlyName, GetEndpointRecord(&inventory, 0)->friendlyName) << c.operation;
    }
}

TEST_F(EndpointInventoryTest, EndpointsThatCannotBeFetchedAreSkipped) {
    Add(L"a", eRender, DEVICE_STATE_ACTIVE, L"XAN", L"A", Speakers);
    Add(L"b", eRender, DEVICE_STATE_ACTIVE, L"XAN", L"B", Speakers);
    Add(L"c", eRender, DEVICE_STATE_ACTIVE, L"XAN", L"C", Speakers);
    Add(L"d", eRender, DEVICE_STATE_ACTIVE, L"XAN", L"D", Speakers);
    sim->FailOn(op::CollectionItem, E_FAIL, 1);
    sim->FailOn(op::GetId, E_OUTOFMEMORY, 1);  // b's id
    sim->SucceedWithNull(op::GetId, 2);        // c's id
    EXPECT_EQ(Ids{L"d"}, Build());
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

// A name stored as a VT_BSTR is text like a VT_LPWSTR, cut to fit the same way.
TEST_F(EndpointInventoryTest, ANameStoredAsABstrIsReadAsText) {
    Add(L"bstr", eRender, DEVICE_STATE_ACTIVE, {}, {}, Speakers);
    sim->SetProperty(Store::Endpoint, L"bstr", PKEY_Device_FriendlyName,
                     Value::Bstr(L"Speakers (XAN High Definition Audio)"));
    sim->SetProperty(Store::Endpoint, L"bstr", PKEY_Device_DeviceDesc,
                     Value::Bstr(std::wstring(300, L'd')));
    Build();
    const EndpointRecord* record = GetEndpointRecord(&inventory, 0);
    EXPECT_STREQ(L"Speakers (XAN High Definition Audio)", record->friendlyName);
    EXPECT_EQ(std::wstring(259, L'd'), record->description);
    EXPECT_EQ(0, record->kind);  // the maker's speakers, by the name read
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
    // Each variant with the position of the name it lacks in the binding order.
    for (auto [variant, missing] :
         {std::pair{L"missing-last", 90}, {L"missing-middle", 45}, {L"wrong-case", 84}}) {
        ScopedDllDirectory defective(ExtensionVariantDir(variant).c_str());
        const FARPROC unbound = reinterpret_cast<FARPROC>(1);
        std::fill(std::begin(g_extensionExports.slots), std::end(g_extensionExports.slots),
                  unbound);
        EndpointInventory defectiveInventory;
        EXPECT_FALSE(OpenEndpointInventory(&defectiveInventory)) << variant;
        EXPECT_EQ(nullptr, defectiveInventory.extensionModule) << variant;
        EXPECT_EQ(nullptr, GetModuleHandleW(L"XANPropPageExt.dll")) << variant;
        // Every lookup was still made, the failed one storing null.
        for (int i = 0; i < 91; ++i) {
            FARPROC slot = g_extensionExports.slots[i];
            if (i == missing) {
                EXPECT_EQ(nullptr, slot) << variant;
            } else {
                EXPECT_TRUE(slot && slot != unbound) << variant << ", slot " << i;
            }
        }
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

// The standard search with no library directory set (which would take the current directory out
// of the search by itself): a complete copy in the current directory is never loaded, the one on
// the search path is, and the load leaves the current directory and the library directory as it
// found them, the current directory untouched even for a moment.
TEST_F(EndpointInventoryTest, ACopyPlantedInTheCurrentDirectoryIsNotLoaded) {
    SetDllDirectoryW(nullptr);
    WCHAR previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    std::wstring planted = ExtensionVariantDir(L"full");
    ASSERT_TRUE(SetCurrentDirectoryW(planted.c_str()));

    // Another thread of the process watches the current directory throughout.
    std::atomic<bool> loading{true};
    std::atomic<int> moved{0};
    std::thread watching([&] {
        WCHAR seen[MAX_PATH];
        while (loading) {
            GetCurrentDirectoryW(MAX_PATH, seen);
            moved += planted != seen;
        }
    });
    BOOL opened = OpenEndpointInventory(&inventory);
    loading = false;
    watching.join();
    WCHAR after[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, after);
    WCHAR libraryDirectory[MAX_PATH] = L"unread";
    DWORD libraryDirectoryLength = GetDllDirectoryW(MAX_PATH, libraryDirectory);
    SetCurrentDirectoryW(previous);
    EXPECT_FALSE(opened);
    EXPECT_EQ(nullptr, GetModuleHandleW(L"XANPropPageExt.dll"));
    EXPECT_EQ(0, moved.load()) << "the current directory changed during the load";
    EXPECT_STREQ(planted.c_str(), after);
    EXPECT_EQ(0u, libraryDirectoryLength) << "the default search was not given back";
    CloseEndpointInventory(&inventory);

    // On the search path, the library is found.
    WCHAR path[32767];
    DWORD pathLength = GetEnvironmentVariableW(L"PATH", path, 32767);
    ASSERT_GT(pathLength, 0u);
    std::wstring searched = planted + L";" + path;
    SetEnvironmentVariableW(L"PATH", searched.c_str());
    EXPECT_TRUE(OpenEndpointInventory(&inventory));
    SetEnvironmentVariableW(L"PATH", path);
    EXPECT_EQ(0u, GetDllDirectoryW(MAX_PATH, libraryDirectory));
    CloseEndpointInventory(&inventory);
    SetDllDirectoryW(ExtensionVariantDir(L"full").c_str());
}

// A library directory the host has set takes the current directory out of the search already:
// the load keeps it, and finds the library there.
TEST_F(EndpointInventoryTest, TheHostsLibraryDirectoryIsKept) {
    std::wstring full = ExtensionVariantDir(L"full");
    SetDllDirectoryW(full.c_str());
    EXPECT_TRUE(OpenEndpointInventory(&inventory));
    WCHAR kept[MAX_PATH] = {};
    GetDllDirectoryW(MAX_PATH, kept);
    EXPECT_STREQ(full.c_str(), kept);
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

int LiveInventoryObjects() {
    using sim::audio::ObjectKind;
    int live = 0;
    for (ObjectKind kind :
         {ObjectKind::DeviceEnumerator, ObjectKind::DeviceCollection, ObjectKind::Device}) {
        live += sim::audio::LiveObjects(kind);
    }
    return live;
}

TEST_F(EndpointInventoryTest, CloseLetsGoOfEverythingBeforeLeavingCom) {
    Add(L"speakers", eRender, DEVICE_STATE_ACTIVE, L"XAN", L"Speakers", Speakers);
    Add(L"mic", eCapture, DEVICE_STATE_ACTIVE, L"XAN", L"Mic", Microphone);
    ASSERT_EQ(2u, Build().size());
    int live = -1;
    bool loaded = true;
    InitializeSpy spy;
    spy.beforeUninitialize = [&] {
        live = LiveInventoryObjects();
        loaded = GetModuleHandleW(L"XANPropPageExt.dll") != nullptr;
    };
    CloseEndpointInventory(&inventory);
    EXPECT_EQ(1, spy.uninitialised);
    EXPECT_EQ(0, live);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(0, GetEndpointRecordCount(&inventory));

    // A context that was never opened owes nothing.
    EndpointInventory unopened;
    CloseEndpointInventory(&unopened);
    EXPECT_EQ(1, spy.uninitialised);
}

TEST_F(EndpointInventoryTest, OpenTriesTheOtherApartmentOnlyWhenTheFirstFails) {
    {
        InitializeSpy spy;
        EXPECT_TRUE(OpenEndpointInventory(&inventory));
        EXPECT_EQ(std::vector<DWORD>{COINIT_MULTITHREADED}, spy.models);
        CloseEndpointInventory(&inventory);
        EXPECT_EQ(1, spy.uninitialised);
    }
    {
        // Both initialisations fail for Open; neither stops it, and Close owes nothing.
        InitializeSpy spy(1);
        EndpointInventory refused;
        EXPECT_TRUE(OpenEndpointInventory(&refused));
        EXPECT_EQ((std::vector<DWORD>{COINIT_MULTITHREADED, COINIT_APARTMENTTHREADED}), spy.models);
        EXPECT_FALSE(refused.comInitialized);
        CloseEndpointInventory(&refused);
        EXPECT_EQ(0, spy.uninitialised);
    }
    // COM did initialise underneath the refused call: give the thread its count back.
    CoUninitialize();
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
