#pragma once

#include <windows.h>

// Identifiers of the audio service's undocumented components, as the service itself knows them.
namespace sim::audio {

// FX-store accessors, queried from an IMMDevice.
inline constexpr IID kFxStoreAccessVista = {
    0x84087C38, 0x1B58, 0x422B, {0xBF, 0x7E, 0x55, 0xD2, 0xE3, 0x36, 0x41, 0x99}};
inline constexpr IID kFxStoreAccess7 = {
    0xED899CBB, 0x5613, 0x4541, {0xA7, 0x8F, 0x66, 0x30, 0x2F, 0x0C, 0xE2, 0x11}};

// Endpoint-configuration objects: class and interface ids.
inline constexpr CLSID kEndpointConfigClassVista = {
    0x294935CE, 0xF637, 0x4E7C, {0xA4, 0x1B, 0xAB, 0x25, 0x54, 0x60, 0xB8, 0x62}};
inline constexpr CLSID kEndpointConfigClass7 = {
    0x870AF99C, 0x171D, 0x4F9E, {0xAF, 0x0D, 0xE6, 0x3D, 0xF4, 0x0C, 0x2B, 0xC9}};
inline constexpr IID kEndpointConfigVista = {
    0x568B9108, 0x44BF, 0x40B4, {0x90, 0x06, 0x86, 0xAF, 0xE5, 0xB5, 0xA6, 0x20}};
inline constexpr IID kEndpointConfig7 = {
    0xF8679F50, 0x850A, 0x41CF, {0x9C, 0x72, 0x43, 0x0F, 0x29, 0x02, 0x90, 0xC8}};

// Method slots (IUnknown's three methods are slots 0 to 2).
inline constexpr int kOpenFxStoreSlot = 5;
inline constexpr int kWriteFormatSlotVista = 5;
inline constexpr int kWriteFormatSlot7 = 6;
inline constexpr int kWritePropertySlotVista = 11;
inline constexpr int kWritePropertySlot7 = 12;
// IPropertyStore::SetValue, for writes made through an FX store handle.
inline constexpr int kPropertyStoreSetValueSlot = 6;

}  // namespace sim::audio
