#include "sim/machine/DefaultLaptop.h"

#include <mmreg.h>

namespace sim::machine {
namespace {

std::vector<BYTE> StereoPcm(DWORD rate, WORD validBits) {
    WAVEFORMATEXTENSIBLE format = {};
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = 2;
    format.Format.nSamplesPerSec = rate;
    format.Format.wBitsPerSample = validBits == 16 ? 16 : 32;
    format.Format.nBlockAlign = static_cast<WORD>(2 * format.Format.wBitsPerSample / 8);
    format.Format.nAvgBytesPerSec = rate * format.Format.nBlockAlign;
    format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    format.Samples.wValidBitsPerSample = validBits;
    format.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    format.SubFormat = {
        0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&format);
    return std::vector<BYTE>(bytes, bytes + sizeof format);
}

void Describe(audio::AudioService& service, const wchar_t* id, int formFactor, DWORD rate,
              WORD validBits) {
    service.SetProperty(audio::Store::Endpoint, id, PKEY_AudioEndpoint_FormFactor,
                        audio::Value::UInt32(formFactor));
    service.SetProperty(audio::Store::Endpoint, id, PKEY_AudioEngine_DeviceFormat,
                        audio::Value::Blob(StereoPcm(rate, validBits)));
}

}  // namespace

void AddDefaultLaptop(audio::AudioService& service) {
    service.AddEndpoint(kLaptopSpeakersId, eRender, DEVICE_STATE_ACTIVE);
    Describe(service, kLaptopSpeakersId, 1, 44100, 16);
    service.AddEndpoint(kLaptopHeadphonesId, eRender, DEVICE_STATE_UNPLUGGED);
    Describe(service, kLaptopHeadphonesId, 3, 48000, 24);
    service.AddEndpoint(kLaptopMicrophoneId, eCapture, DEVICE_STATE_ACTIVE);
    Describe(service, kLaptopMicrophoneId, 4, 48000, 16);
}

}  // namespace sim::machine
