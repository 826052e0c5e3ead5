// The values the program shares with the audio service, the codec driver and itself across
// threads, each written out here as the service and the driver define them. The program's
// constants are held to them one by one, and so are the stand-ins' own tables: a digit wrong on
// either side fails here, even where both sides would agree with each other.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "driver/CodecPath.h"
#include "driver/DriverControls.h"
#include "driver/HDAudDevice.h"
#include "fxstore/EndpointConfigInterfaces.h"
#include "fxstore/PropertyKeys.h"
#include "page/RefreshMessage.h"
#include "sim/audio/ComponentIds.h"
#include "sim/driver/CodecDriver.h"
#include "sim/machine/EffectKeys.h"
#include "sim/machine/MachineState.h"

namespace {

std::wstring Text(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    return text;
}

struct KeyCase {
    const char* name;
    const PROPERTYKEY* program;
    const PROPERTYKEY* standIn;  // the simulated machine's table
    const wchar_t* formatId;
    DWORD pid;
};

const KeyCase kEffectKeys[] = {
    {"PKEY_Xan_SoundSpaceExpander", &PKEY_Xan_SoundSpaceExpander, &sim::keys::SoundSpaceExpander,
     L"{B36ED2B1-5EF5-458D-87F5-AC107C4784B9}", 0},
    {"PKEY_Xan_Headphone", &PKEY_Xan_Headphone, &sim::keys::Headphone,
     L"{729AD972-58BE-4BF0-8D3C-E6058F677FE0}", 0},
    {"PKEY_Xan_NaturalBass", &PKEY_Xan_NaturalBass, &sim::keys::NaturalBass,
     L"{50AF0471-7191-47DD-AB4B-8AF4F2742FE3}", 0},
    {"PKEY_Xan_ModeWord", &PKEY_Xan_ModeWord, &sim::keys::ModeWord,
     L"{C6FDBB10-1C09-4E6D-B65E-A3182C709A16}", 0},
    {"PKEY_Xan_LevelWord", &PKEY_Xan_LevelWord, &sim::keys::LevelWord,
     L"{01178AC8-199F-411F-AA65-B1EEA2F758A6}", 0},
    {"PKEY_Xan_HeadphoneSelector", &PKEY_Xan_HeadphoneSelector, &sim::keys::HeadphoneSelector,
     L"{5B205868-A525-409A-B918-B1F4C67444DA}", 0},
    {"PKEY_Xan_FirstRunMarker", &PKEY_Xan_FirstRunMarker, &sim::keys::FirstRunMarker,
     L"{A6F29F8F-57D0-4FC6-85C1-D480818F4843}", 2},
    {"PKEY_Xan_JackChange", &PKEY_Xan_JackChange, &sim::keys::JackChange,
     L"{46233A9F-DF58-4D20-A4E6-7D3EADF52E51}", 0},
};

TEST(Contract, EffectKeys) {
    for (const KeyCase& c : kEffectKeys) {
        EXPECT_EQ(c.formatId, Text(c.program->fmtid)) << c.name;
        EXPECT_EQ(c.pid, c.program->pid) << c.name;
        EXPECT_EQ(c.formatId, Text(c.standIn->fmtid)) << c.name << " (stand-in)";
        EXPECT_EQ(c.pid, c.standIn->pid) << c.name << " (stand-in)";
        // The state file names each key.
        PROPERTYKEY named = {};
        EXPECT_TRUE(sim::machine::ParseKey(c.name, &named)) << c.name;
        EXPECT_EQ(c.formatId, Text(named.fmtid)) << c.name << " (state file)";
        EXPECT_EQ(c.pid, named.pid) << c.name << " (state file)";
    }
}

struct IdCase {
    const char* name;
    const GUID* program;
    const GUID* standIn;
    const wchar_t* text;
};

TEST(Contract, UndocumentedComponentIds) {
    const IdCase cases[] = {
        {"FX-store accessor, Vista", &IID_IEndpointFxStoreAccessVista,
         &sim::audio::kFxStoreAccessVista, L"{84087C38-1B58-422B-BF7E-55D2E3364199}"},
        {"FX-store accessor, Windows 7", &IID_IEndpointFxStoreAccess7, &sim::audio::kFxStoreAccess7,
         L"{ED899CBB-5613-4541-A78F-66302F0CE211}"},
        {"configuration class, Vista", &CLSID_AudioEndpointConfigVista,
         &sim::audio::kEndpointConfigClassVista, L"{294935CE-F637-4E7C-A41B-AB255460B862}"},
        {"configuration class, Windows 7", &CLSID_AudioEndpointConfig7,
         &sim::audio::kEndpointConfigClass7, L"{870AF99C-171D-4F9E-AF0D-E63DF40C2BC9}"},
        {"configuration interface, Vista", &IID_IAudioEndpointConfigVista,
         &sim::audio::kEndpointConfigVista, L"{568B9108-44BF-40B4-9006-86AFE5B5A620}"},
        {"configuration interface, Windows 7", &IID_IAudioEndpointConfig7,
         &sim::audio::kEndpointConfig7, L"{F8679F50-850A-41CF-9C72-430F290290C8}"},
    };
    for (const IdCase& c : cases) {
        EXPECT_EQ(c.text, Text(*c.program)) << c.name;
        EXPECT_EQ(c.text, Text(*c.standIn)) << c.name << " (stand-in)";
    }
}

// An object whose every vtable slot notes its own number: a call made through the program's
// declaration of an interface shows which slot that declaration reaches.
thread_local int t_slotCalled = -1;

template <int slot>
HRESULT STDMETHODCALLTYPE NoteSlot() {
    t_slotCalled = slot;
    return S_OK;
}

template <int... slots>
const void* const* SlotTable(std::integer_sequence<int, slots...>) {
    static const void* const table[] = {reinterpret_cast<const void*>(&NoteSlot<slots>)...};
    return table;
}

template <class Interface>
Interface* SlotNoter() {
    static const void* const* object = SlotTable(std::make_integer_sequence<int, 16>());
    return reinterpret_cast<Interface*>(&object);
}

template <class Call>
int SlotOf(Call call) {
    t_slotCalled = -1;
    call();
    return t_slotCalled;
}

TEST(Contract, UndocumentedMethodSlots) {
    auto* accessVista = SlotNoter<IEndpointFxStoreAccessVista>();
    auto* access7 = SlotNoter<IEndpointFxStoreAccess7>();
    auto* configVista = SlotNoter<IAudioEndpointConfigVista>();
    auto* config7 = SlotNoter<IAudioEndpointConfig7>();
    const PROPERTYKEY key = {};
    struct Case {
        const char* name;
        int slot, program, standIn;
    };
    const Case cases[] = {
        {"OpenFxStore, Vista", 5, SlotOf([&] { accessVista->OpenFxStore(0, nullptr); }),
         sim::audio::kOpenFxStoreSlot},
        {"OpenFxStore, Windows 7", 5, SlotOf([&] { access7->OpenFxStore(0, nullptr); }),
         sim::audio::kOpenFxStoreSlot},
        {"WriteEndpointFormat, Vista", 5,
         SlotOf([&] { configVista->WriteEndpointFormat(nullptr, nullptr, nullptr); }),
         sim::audio::kWriteFormatSlotVista},
        {"WriteEndpointFormat, Windows 7", 6,
         SlotOf([&] { config7->WriteEndpointFormat(nullptr, nullptr, nullptr); }),
         sim::audio::kWriteFormatSlot7},
        {"WriteEndpointProperty, Vista", 11,
         SlotOf([&] { configVista->WriteEndpointProperty(nullptr, 1, key, nullptr); }),
         sim::audio::kWritePropertySlotVista},
        {"WriteEndpointProperty, Windows 7", 12,
         SlotOf([&] { config7->WriteEndpointProperty(nullptr, 1, key, nullptr); }),
         sim::audio::kWritePropertySlot7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.slot, c.program) << c.name;
        EXPECT_EQ(c.slot, c.standIn) << c.name << " (stand-in)";
    }
}

TEST(Contract, DriverControlCodes) {
    struct Case {
        const char* name;
        DWORD program, standIn, code;
    };
    namespace control = sim::driver::control;
    const Case cases[] = {
        {"IOCTL_HDAUD_GET_POLICY", IOCTL_HDAUD_GET_POLICY, control::Policy, 0x001D6004},
        {"IOCTL_HDAUD_GET_XAN_JACK_STATUS", IOCTL_HDAUD_GET_XAN_JACK_STATUS, control::JackStatus,
         0x001D6038},
        {"IOCTL_HDAUD_GET_XAN_DRVSUPPORT3RDPRTEFTS", IOCTL_HDAUD_GET_XAN_DRVSUPPORT3RDPRTEFTS,
         control::EffectSupport, 0x001D6070},
        {"IOCTL_HDAUD_GET_FRONT_PANEL_RETASKING", IOCTL_HDAUD_GET_FRONT_PANEL_RETASKING,
         control::Retasking, 0x001D608C},
        {"IOCTL_HDAUD_GET_FP_RETASKING_RM4512S", IOCTL_HDAUD_GET_FP_RETASKING_RM4512S,
         control::ChipRetasking, 0x001D60C8},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.code, c.program) << c.name;
        EXPECT_EQ(c.code, c.standIn) << c.name << " (stand-in)";
    }
}

TEST(Contract, DriverAnswerLayout) {
    struct Case {
        const char* name;
        size_t program, value;
    };
    const Case cases[] = {
        {"policy answer size", HDAUD_POLICY_ANSWER_SIZE, 128},
        {"jack status size", HDAUD_JACK_STATUS_SIZE, 2},
        {"effect support size", HDAUD_EFFECT_SUPPORT_SIZE, 4},
        {"retasking answer size", HDAUD_RETASKING_ANSWER_SIZE, 8},
        {"retasking answer", sizeof(HDAudRetaskingAnswer), 8},
        {"policy state offset", HDAUD_POLICY_STATE_OFFSET, 16},
        {"speakers-only policy", HDAUD_POLICY_SPEAKERS_ONLY, 0},
        {"front-panel policy", HDAUD_POLICY_FRONT_PANEL, 1},
        {"first front-panel jack", HDAUD_JACK_FRONT_PORT1, 0x0010},
        {"second front-panel jack", HDAUD_JACK_FRONT_PORT2, 0x0020},
        {"generic port mode not a headphone", HDAUD_RETASKING_NOT_HEADPHONE, 1},
        {"chip port mode not a headphone", HDAUD_RM4512S_NOT_HEADPHONE, 3},
        {"effect-support bit", HDAUD_SUPPORT_HALVO_EFFECTS, 0x8},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.value, c.program) << c.name;
    }
}

TEST(Contract, DriverInterfaceClass) {
    const std::wstring classText = L"{5b2e0c71-3a94-4f16-b8d3-0e7c91a4f258}";
    EXPECT_EQ(classText, Lower(Text(GUID_DEVINTERFACE_HDAUD_PRIVATE)));
    EXPECT_EQ(classText, Lower(Text(sim::driver::kInterfaceClass))) << "stand-in";

    // The path check looks for exactly that text, in lower case: every digit counts.
    auto accepted = [](const std::wstring& text) {
        std::wstring path =
            L"\\\\?\\hdaudio#func_01&ven_9e5b&dev_0615&subsys_1025034a&rev_1001#4&2d5c1b7e&0&"
            L"0001#" +
            text + L"\\elineoutwave";
        return IsSupportedCodecPath(path.c_str());
    };
    EXPECT_TRUE(accepted(classText));
    EXPECT_FALSE(accepted(Text(GUID_DEVINTERFACE_HDAUD_PRIVATE)));  // upper case
    for (size_t i = 0; i < classText.size(); ++i) {
        if (std::iswxdigit(classText[i])) {
            std::wstring changed = classText;
            changed[i] = classText[i] == L'0' ? L'1' : L'0';
            EXPECT_FALSE(accepted(changed)) << "digit " << i;
        }
    }
}

TEST(Contract, RefreshMessageAndKinds) {
    EXPECT_EQ(3041u, WM_ENDPOINT_PROPERTY_CHANGED);
    EXPECT_EQ(1u, static_cast<WPARAM>(EPC_BYPASS));
    EXPECT_EQ(12u, static_cast<WPARAM>(EPC_EFFECTS));
    EXPECT_EQ(18u, static_cast<WPARAM>(EPC_JACK));
}

}  // namespace
