#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/EndpointNotifier.h"
#include "framework/CComPtr.h"
#include "fxstore/FxPropertyStore.h"
#include "fxstore/EffectState.h"
#include "page/DeviceCallback.h"
#include "page/EndpointCallbacks.h"
#include "page/HalvoPageSoundRoom.h"
#include "app/PropPageSheet.h"
#include "sim/platform/PostedMessages.h"
#include "tests/page/PageFixture.h"

namespace {

constexpr PROPERTYKEY kEndpointKey(DWORD pid) {
    return {{0x1DA5D803, 0xD492, 0x4EDD, {0x8C, 0x23, 0xE0, 0xC0, 0xFF, 0xEE, 0x7F, 0x0E}}, pid};
}

// A receiver that notes every key it is handed.
class RecordingCallbacks : public CEndpointCallbacks {
public:
    void OnEndpointPropertyChanged(const PROPERTYKEY* key) override { keys.push_back(*key); }
    std::vector<PROPERTYKEY> keys;
};

TEST(DeviceCallback, ForwardsOnlyTheWatchedEndpointToEveryCallback) {
    CEndpointNotifier notifier = {};
    RecordingCallbacks first, second;
    SetNotifierEndpoint(&notifier, L"{0.0.0.00000000}.{abc}");
    AddEndpointCallback(&notifier, &first);
    AddEndpointCallback(&notifier, &second);
    auto* client = new CDeviceCallback(&notifier);

    client->OnPropertyValueChanged(L"{0.0.0.00000000}.{abc}", keys::NaturalBass);
    client->OnPropertyValueChanged(L"{0.0.0.00000000}.{ABC}", keys::NaturalBass);
    client->OnPropertyValueChanged(L"{0.0.0.00000000}.{abd}", keys::NaturalBass);
    client->OnPropertyValueChanged(nullptr, keys::NaturalBass);
    ASSERT_EQ(1u, first.keys.size());
    EXPECT_TRUE(IsEqualPropertyKey(keys::NaturalBass, first.keys[0]));
    EXPECT_EQ(1u, second.keys.size());
    EXPECT_EQ(0u, client->Release());
}

TEST(DeviceCallback, AnswersOnlyForItsInterfacesAndCountsReferences) {
    CEndpointNotifier notifier = {};
    auto* client = new CDeviceCallback(&notifier);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(Hr(E_NOINTERFACE), Hr(client->QueryInterface(IID_IPropertyStore, &out)));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(Hr(S_OK), Hr(client->QueryInterface(__uuidof(IMMNotificationClient), &out)));
    EXPECT_EQ(client, out);
    EXPECT_EQ(Hr(S_OK), Hr(client->QueryInterface(IID_IUnknown, &out)));
    EXPECT_EQ(2u, client->Release());
    EXPECT_EQ(1u, client->Release());
    EXPECT_EQ(Hr(S_OK), Hr(client->OnDeviceStateChanged(L"x", DEVICE_STATE_ACTIVE)));
    EXPECT_EQ(0u, client->Release());  // deleted
}

TEST(EndpointNotifier, RefusesATwentyFirstCallbackAndKeepsOrderOnRemoval) {
    CEndpointNotifier notifier = {};
    RecordingCallbacks callbacks[21];
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(AddEndpointCallback(&notifier, &callbacks[i]));
    }
    EXPECT_FALSE(AddEndpointCallback(&notifier, &callbacks[20]));
    EXPECT_EQ(20, notifier.callbackCount);
    RemoveEndpointCallback(&notifier, &callbacks[3]);
    EXPECT_EQ(19, notifier.callbackCount);
    EXPECT_EQ(&callbacks[4], notifier.callbacks[3]);
    EXPECT_FALSE(AddEndpointCallback(&notifier, &callbacks[0]));  // already listed
    RemoveEndpointCallback(&notifier, &callbacks[20]);            // not listed: no change
    EXPECT_EQ(19, notifier.callbackCount);
    // Null is no callback, and no notifier takes one.
    EXPECT_FALSE(AddEndpointCallback(&notifier, nullptr));
    EXPECT_EQ(19, notifier.callbackCount);
    EXPECT_FALSE(AddEndpointCallback(nullptr, &callbacks[20]));
}

TEST(PageCallbacks, TheClassesCarryTheirNames) {
    EXPECT_STREQ("CHalvoPageSoundRoom", RUNTIME_CLASS(CHalvoPageSoundRoom)->m_lpszClassName);
    EXPECT_STREQ("CPropPageSheet", RUNTIME_CLASS(CPropPageSheet)->m_lpszClassName);
}

TEST(PageCallbacks, TellKeysApartByTheirFormatIdOnly) {
    EXPECT_EQ(kRefreshBypass, CMyHalvoSREndpointCallbacks::RefreshKindFor(kEndpointKey(5)));
    EXPECT_EQ(kRefreshBypass, CMyHalvoSREndpointCallbacks::RefreshKindFor(kEndpointKey(0)));
    EXPECT_EQ(kRefreshBypass, CMyHalvoSREndpointCallbacks::RefreshKindFor(kEndpointKey(77)));
    for (const PROPERTYKEY& key : {keys::Headphone, keys::SoundSpaceExpander, keys::NaturalBass}) {
        EXPECT_EQ(kRefreshEffects, CMyHalvoSREndpointCallbacks::RefreshKindFor(key));
    }
    EXPECT_EQ(kRefreshJack, CMyHalvoSREndpointCallbacks::RefreshKindFor(keys::JackChange));
    for (const PROPERTYKEY& key : {keys::ModeWord, keys::LevelWord, keys::HeadphoneSelector,
                                   keys::FirstRunMarker, PKEY_AudioEngine_DeviceFormat}) {
        EXPECT_EQ(0u, CMyHalvoSREndpointCallbacks::RefreshKindFor(key));
    }
}

// The refresh path on a window of its own: the messages it posts there, and the kinds it has read
// on the message and on its timers' ticks.
class RefreshPath : public ::testing::Test {
protected:
    void SetUp() override {
        window =
            ::CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, window);
    }
    void TearDown() override {
        refresh.Stop();
        ::DestroyWindow(window);
    }
    // Refresh messages waiting for the window, by kind (0: any), taken from its queue.
    int Posted(WPARAM kind = 0) {
        int count = 0;
        MSG msg;
        while (::PeekMessageW(&msg, window, kRefreshMessage, kRefreshMessage, PM_REMOVE)) {
            count += (kind == 0 || msg.wParam == kind) && msg.lParam == 0;
        }
        return count;
    }
    // Hands the path's timer ticks to it until one has something read; what it read.
    std::vector<WPARAM> TicksUntilDue() {
        DWORD start = ::GetTickCount();
        while (::GetTickCount() - start < 2000) {
            MSG msg;
            if (::PeekMessageW(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE)) {
                EXPECT_TRUE(CPageRefresh::IsRefreshTimer(msg.wParam)) << msg.wParam;
                std::vector<WPARAM> due;
                refresh.OnTimer(msg.wParam, [&](WPARAM kind) { due.push_back(kind); });
                if (!due.empty()) {
                    return due;
                }
            }
            ::Sleep(1);
        }
        ADD_FAILURE() << "nothing came due";
        return {};
    }
    // Hands it every tick for a while, none of which may have anything read.
    void TicksWithNothingDue(DWORD milliseconds) {
        DWORD start = ::GetTickCount();
        while (::GetTickCount() - start < milliseconds) {
            MSG msg;
            if (::PeekMessageW(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE)) {
                refresh.OnTimer(msg.wParam, [](WPARAM kind) { ADD_FAILURE() << kind; });
            }
            ::Sleep(1);
        }
    }
    // The kinds the message has read, in order.
    std::vector<WPARAM> Message(WPARAM posted) {
        std::vector<WPARAM> read;
        refresh.OnMessage(posted, [&](WPARAM kind) { read.push_back(kind); });
        return read;
    }

    HWND window = nullptr;
    CPageRefresh refresh;
};

TEST_F(RefreshPath, PostsOneMessageForABurstAndReadsWhatCameMeanwhileWhenTheRestEnds) {
    refresh.Changed(kRefreshEffects);  // before Start: only marked
    EXPECT_EQ(0, Posted());
    EXPECT_TRUE(refresh.AnyPending());
    refresh.Start(window);
    for (int i = 0; i < 1000; ++i) {
        refresh.Changed(kRefreshEffects);
    }
    EXPECT_EQ(1, Posted(kRefreshEffects));
    EXPECT_EQ((std::vector<WPARAM>{kRefreshEffects}), Message(kRefreshEffects));
    EXPECT_FALSE(refresh.AnyPending());

    // While the page rests after a refresh, changes are only marked; the rest's end reads them,
    // in the order bypass, effects, jack, and rests again.
    refresh.Changed(kRefreshJack);
    refresh.Changed(kRefreshBypass);
    refresh.Changed(0);
    refresh.Changed(13);
    EXPECT_EQ(0, Posted());
    EXPECT_EQ((std::vector<WPARAM>{kRefreshBypass, kRefreshJack}), TicksUntilDue());
    refresh.Changed(kRefreshEffects);
    EXPECT_EQ(0, Posted());
    EXPECT_EQ((std::vector<WPARAM>{kRefreshEffects}), TicksUntilDue());
    // A rest with nothing marked opens the gate: the next change posts again.
    TicksWithNothingDue(50);
    refresh.Changed(kRefreshBypass);
    EXPECT_EQ(1, Posted(kRefreshBypass));
    // The posted kind is read even when another message already took its mark.
    EXPECT_EQ((std::vector<WPARAM>{kRefreshBypass}), Message(kRefreshBypass));
    EXPECT_EQ((std::vector<WPARAM>{kRefreshJack}), Message(kRefreshJack));
}

TEST_F(RefreshPath, EachKeyThroughThePagesReceiverPostsItsKindOrNothing) {
    struct Case {
        PROPERTYKEY key;
        WPARAM kind;
    };
    for (Case c :
         {Case{kEndpointKey(5), kRefreshBypass}, Case{kEndpointKey(3), kRefreshBypass},
          Case{keys::NaturalBass, kRefreshEffects}, Case{keys::SoundSpaceExpander, kRefreshEffects},
          Case{keys::JackChange, kRefreshJack}, Case{keys::ModeWord, 0}, Case{keys::LevelWord, 0},
          Case{keys::HeadphoneSelector, 0}, Case{keys::FirstRunMarker, 0},
          Case{PKEY_AudioEngine_DeviceFormat, 0}}) {
        CPageRefresh path;
        path.Start(window);
        CMyHalvoSREndpointCallbacks callbacks(nullptr, &path);
        callbacks.OnEndpointPropertyChanged(&c.key);
        EXPECT_EQ(c.kind ? 1 : 0, Posted(c.kind)) << c.key.pid;
        EXPECT_EQ(0, Posted()) << c.key.pid;
        EXPECT_EQ(c.kind != 0, path.AnyPending()) << c.key.pid;
        path.Stop();
    }
}

using Refresh = PageTest;

// Exposes the page's window procedure to a test without a window.
class OpenPage : public CHalvoPageSoundRoom {
public:
    using CHalvoPageSoundRoom::WindowProc;
};

TEST_F(Refresh, IsIgnoredBeforeTheSetUpEnds) {
    CComPtr<IPropertyStore> store;
    OpenPage page;
    ASSERT_EQ(Hr(S_OK), Hr(OpenFxPropertyStore(kLaptopSpeakers, &store)));
    page.m_pFxStore = store.Get();
    int reads = sim->Calls(sim::audio::op::FxStoreGetValue);
    page.WindowProc(kRefreshMessage, kRefreshEffects, 0);
    page.WindowProc(kRefreshMessage, kRefreshBypass, 0);
    EXPECT_EQ(reads, sim->Calls(sim::audio::op::FxStoreGetValue));
}

// Sees the page's WM_DESTROY after the page has handled it.
thread_local std::function<void(HWND)> t_afterDestroy;
LRESULT CALLBACK AfterDestroy(int code, WPARAM wParam, LPARAM lParam) {
    auto* message = reinterpret_cast<CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == WM_DESTROY && t_afterDestroy) {
        t_afterDestroy(message->hwnd);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(Refresh, IsIgnoredOnceThePageIsDestroyed) {
    HWND pageWindow = nullptr;
    int readsAfterDestroy = -1;
    t_afterDestroy = [&](HWND hWnd) {
        if (hWnd != pageWindow) {
            return;
        }
        int reads = sim->Calls(sim::audio::op::FxStoreGetValue);
        ::SendMessageW(hWnd, kRefreshMessage, kRefreshEffects, 0);
        ::SendMessageW(hWnd, kRefreshMessage, kRefreshBypass, 0);
        readsAfterDestroy = sim->Calls(sim::audio::op::FxStoreGetValue) - reads;
    };
    HHOOK hook =
        ::SetWindowsHookExW(WH_CALLWNDPROCRET, &AfterDestroy, nullptr, ::GetCurrentThreadId());
    RunPage([&](HWND, HWND page) { pageWindow = page; });
    ::UnhookWindowsHookEx(hook);
    t_afterDestroy = nullptr;
    EXPECT_EQ(0, readsAfterDestroy);
}

TEST_F(Refresh, ABurstOfOutsideChangesEndsShowingTheLastWords) {
    MarkConfigured();
    RunPage([&](HWND, HWND page) {
        std::atomic<bool> written{false};
        std::thread writer([&] {
            for (DWORD i = 0; i < 20000; ++i) {
                sim->ChangeFromOutside(
                    Store::Fx, kLaptopSpeakers, keys::NaturalBass,
                    Value::UInt32((i % 2 ? 0x80000013 : 0x00000013) | ((i % 7) << 8)));
            }
            sim->ChangeFromOutside(Store::Fx, kLaptopSpeakers, keys::NaturalBass,
                                   Value::UInt32(0x80000413));
            written = true;
        });
        // The page keeps handling its refreshes while the burst goes on.
        PumpUntil([&] { return written.load(); }, 60000);
        writer.join();
        Settle();
        EXPECT_TRUE(Checked(page, IDC_NATURAL_BASS));
        EXPECT_EQ(L"4", Text(Control(page, IDC_BASS_BOOST_VALUE)));
        EXPECT_EQ(4, SliderPosition(page));
    });
}

TEST_F(Refresh, AChangeWhoseRefreshCouldNotBePostedIsStillShown) {
    MarkConfigured();
    StoreWord(keys::NaturalBass, 0x00000213);
    RunPage([&](HWND, HWND page) {
        ASSERT_FALSE(Checked(page, IDC_NATURAL_BASS));
        {
            sim::ScopedFullQueue full;
            sim->ChangeFromOutside(Store::Fx, kLaptopSpeakers, keys::NaturalBass,
                                   Value::UInt32(0x80000513));
            sim->FlushNotifications();
        }
        EXPECT_TRUE(PumpUntil([&] { return Checked(page, IDC_NATURAL_BASS); }));
        EXPECT_EQ(L"5", Text(Control(page, IDC_BASS_BOOST_VALUE)));
    });
}

// Another program changes the words while the page loads them, before its callback is listed:
// the change's notification reaches no one, yet the page shows the store as it is.
TEST_F(Refresh, AChangeMadeWhileThePageLoadsIsShown) {
    bool changed = false;
    sim->SetWriteObserver([&](const sim::audio::WriteRecord& write) {
        // The first run's last default, the Natural Bass word, has just been written.
        if (changed || write.origin == sim::audio::WriteOrigin::OutsideProgram ||
            !IsEqualPropertyKey(write.key, keys::NaturalBass)) {
            return;
        }
        changed = true;
        sim->ChangeFromOutside(Store::Fx, kLaptopSpeakers, keys::SoundSpaceExpander,
                               Value::UInt32(0x00000001));
        sim->ChangeFromOutside(Store::Fx, kLaptopSpeakers, keys::NaturalBass,
                               Value::UInt32(0x80003213));
        sim->ChangeFromOutside(Store::Fx, kLaptopSpeakers, PKEY_AudioEndpoint_Disable_SysFx,
                               Value::UInt32(1));
        sim->FlushNotifications();
    });
    RunPage([&](HWND, HWND page) {
        EXPECT_TRUE(changed);
        EXPECT_FALSE(Checked(page, IDC_SOUND_SPACE_EXPANDER));
        EXPECT_EQ(L"2", Text(Control(page, IDC_BASS_BOOST_VALUE)));
        EXPECT_TRUE(Checked(page, IDC_BYPASS));
        EXPECT_FALSE(Enabled(page, IDC_NATURAL_BASS));
    });
    sim->SetWriteObserver(nullptr);
}

// A page whose callback object could not be made still gets a refresh posted by someone: its
// rest after the refresh ends all the same, and no timer runs on.
TEST_F(Refresh, WithoutACallbackObjectTheRestAfterARefreshEnds) {
    RunPage([&](HWND, HWND page) {
        auto* self = static_cast<CHalvoPageSoundRoom*>(CWnd::FromHandle(page));
        RemoveEndpointCallback(self->m_pNotifier, g_pEndpointCallbacks);
        delete g_pEndpointCallbacks;
        g_pEndpointCallbacks = nullptr;
        ::PostMessageW(page, WM_ENDPOINT_PROPERTY_CHANGED, EPC_EFFECTS, 0);
        Pump();
        ::Sleep(100);
        Pump();
        // The page's own timers over 300 ms: its sweep's, every 250 ms, and no other.
        int ticks = 0;
        DWORD start = ::GetTickCount();
        while (::GetTickCount() - start < 300) {
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ticks += msg.message == WM_TIMER && msg.hwnd == page;
                ::DispatchMessageW(&msg);
            }
            ::Sleep(1);
        }
        EXPECT_LE(ticks, 2);
    });
}

TEST_F(Refresh, NotificationsWhileTheSheetComesAndGoesHarmNothing) {
    std::atomic<bool> stop{false};
    std::thread firing([&] {
        const PROPERTYKEY keys[] = {keys::NaturalBass, PKEY_AudioEndpoint_Disable_SysFx,
                                    keys::JackChange, keys::ModeWord};
        for (unsigned i = 0; !stop; ++i) {
            sim->Notify(kLaptopSpeakers, keys[i % 4]);
            // Thousands a second, never more than a few waiting.
            if (i % 8 == 0) {
                sim->FlushNotifications();
                ::Sleep(1);
            }
        }
    });
    for (int run = 0; run < 200; ++run) {
        CPropertyPageApp app;
        ScopedModalAction act(
            [&] { ::PostMessageW(app.m_pMainWnd->m_hWnd, PSM_PRESSBUTTON, PSBTN_OK, 0); }, 1);
        app.InitInstance();
        if (!act.Ran()) {
            ADD_FAILURE() << "the sheet was not shown in run " << run;
            break;
        }
    }
    stop = true;
    firing.join();
    sim->FlushNotifications();
    EXPECT_EQ(nullptr, g_pEndpointCallbacks);
}

}  // namespace
