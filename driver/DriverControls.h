#pragma once

#include <windows.h>
#include <winioctl.h>

// The codec driver's private I/O controls. All are read-only, sent with no input.
#define HDAUD_CONTROL(function) \
    CTL_CODE(FILE_DEVICE_SOUND, function, METHOD_BUFFERED, FILE_READ_ACCESS)

inline constexpr DWORD IOCTL_HDAUD_GET_POLICY = HDAUD_CONTROL(0x801);           // 0x001D6004
inline constexpr DWORD IOCTL_HDAUD_GET_XAN_JACK_STATUS = HDAUD_CONTROL(0x80E);  // 0x001D6038
inline constexpr DWORD IOCTL_HDAUD_GET_XAN_DRVSUPPORT3RDPRTEFTS =
    HDAUD_CONTROL(0x81C);                                                             // 0x001D6070
inline constexpr DWORD IOCTL_HDAUD_GET_FRONT_PANEL_RETASKING = HDAUD_CONTROL(0x823);  // 0x001D608C
inline constexpr DWORD IOCTL_HDAUD_GET_FP_RETASKING_RM4512S = HDAUD_CONTROL(0x832);   // 0x001D60C8

#undef HDAUD_CONTROL

// Output lengths of the controls.
inline constexpr DWORD HDAUD_POLICY_ANSWER_SIZE = 128;
inline constexpr DWORD HDAUD_JACK_STATUS_SIZE = 2;
inline constexpr DWORD HDAUD_EFFECT_SUPPORT_SIZE = 4;
inline constexpr DWORD HDAUD_RETASKING_ANSWER_SIZE = 8;

// Where the policy answer keeps its one field the program reads.
inline constexpr size_t HDAUD_POLICY_STATE_OFFSET = 16;

// Policy states: the speaker endpoint never plays into headphones, or the front-panel jacks
// decide.
inline constexpr DWORD HDAUD_POLICY_SPEAKERS_ONLY = 0;
inline constexpr DWORD HDAUD_POLICY_FRONT_PANEL = 1;

// Jack presence word: a plug in the first or the second front-panel jack.
inline constexpr WORD HDAUD_JACK_FRONT_PORT1 = 0x0010;
inline constexpr WORD HDAUD_JACK_FRONT_PORT2 = 0x0020;

// The answer of both retasking controls: the current function of each front-panel port.
struct HDAudRetaskingAnswer {
    DWORD port1Mode;  // paired with HDAUD_JACK_FRONT_PORT1
    DWORD port2Mode;  // paired with HDAUD_JACK_FRONT_PORT2
};

// The port mode that means "not a headphone output", per control.
inline constexpr DWORD HDAUD_RETASKING_NOT_HEADPHONE = 1;
inline constexpr DWORD HDAUD_RM4512S_NOT_HEADPHONE = 3;

// The effect-support bit of the effect set this program configures.
inline constexpr DWORD HDAUD_SUPPORT_HALVO_EFFECTS = 0x8;
