#include "driver/FrontPanelJacks.h"

#include "driver/DriverControls.h"
#include "driver/DriverQuery.h"

namespace {

// Raises the flag for each port whose mode is not the control's "not a headphone" value and
// whose jack holds a plug.
void RaiseForHeadphonePorts(const HDAudRetaskingAnswer& answer, DWORD notHeadphone, WORD jack,
                            BOOL* headphoneActive) {
    if (answer.port1Mode != notHeadphone && (jack & HDAUD_JACK_FRONT_PORT1)) {
        *headphoneActive = TRUE;
    }
    if (answer.port2Mode != notHeadphone && (jack & HDAUD_JACK_FRONT_PORT2)) {
        *headphoneActive = TRUE;
    }
}

// One retasking step: its control's port map, then the flag raised for each headphone port
// with a plug in its jack.
HRESULT AskRetasking(const HDAudDeviceInfo* device, DWORD code, const WCHAR* step,
                     const WCHAR* controlName, DWORD notHeadphone, WORD jack,
                     BOOL* headphoneActive) {
    HDAudRetaskingAnswer answer = {};
    DWORD returned = 0;
    if (!QueryHDAudDevice(device, code, &answer, sizeof answer, &returned, step, controlName)) {
        return E_FAIL;
    }
    RaiseForHeadphonePorts(answer, notHeadphone, jack, headphoneActive);
    return S_OK;
}

}  // namespace

WORD GetHDAudioJackStatus(const HDAudDeviceInfo* device) {
    WORD jack = 0;
    DWORD returned = 0;
    QueryHDAudDevice(device, IOCTL_HDAUD_GET_XAN_JACK_STATUS, &jack, sizeof jack, &returned,
                     L"GetHDAudioJackStatus", L"IOCTL_HDAUD_GET_XAN_JACK_STATUS");
    return jack;
}

HRESULT GetHDFrontPanelRetasking(const HDAudDeviceInfo* device, WORD jack, BOOL* headphoneActive) {
    return AskRetasking(device, IOCTL_HDAUD_GET_FRONT_PANEL_RETASKING, L"GetHDFrontPanelRetasking",
                        L"IOCTL_HDAUD_GET_FRONT_PANEL_RETASKING", HDAUD_RETASKING_NOT_HEADPHONE,
                        jack, headphoneActive);
}

HRESULT GetRM4512S_FrontPanelRetasking(const HDAudDeviceInfo* device, WORD jack,
                                       BOOL* headphoneActive) {
    return AskRetasking(device, IOCTL_HDAUD_GET_FP_RETASKING_RM4512S,
                        L"GetRM4512S_FrontPanelRetasking", L"IOCTL_HDAUD_GET_FP_RETASKING_RM4512S",
                        HDAUD_RM4512S_NOT_HEADPHONE, jack, headphoneActive);
}
