#pragma once

#include <windows.h>
#include <mmreg.h>
#include <propsys.h>

// Two components of the Windows audio service that have no public documentation: the FX-store
// accessor (queried from an IMMDevice) and the endpoint-configuration object (created by CLSID).
// Each comes in a Vista and a Windows 7 generation with its own identifiers and method slots.
// Only the methods we call are named; the placeholders keep the named ones in their vtable
// slots (IUnknown's three methods are slots 0 to 2) and are never called.

// {84087C38-1B58-422B-BF7E-55D2E3364199}
inline constexpr IID IID_IEndpointFxStoreAccessVista = {
    0x84087C38, 0x1B58, 0x422B, {0xBF, 0x7E, 0x55, 0xD2, 0xE3, 0x36, 0x41, 0x99}};
// {ED899CBB-5613-4541-A78F-66302F0CE211}
inline constexpr IID IID_IEndpointFxStoreAccess7 = {
    0xED899CBB, 0x5613, 0x4541, {0xA7, 0x8F, 0x66, 0x30, 0x2F, 0x0C, 0xE2, 0x11}};
// {294935CE-F637-4E7C-A41B-AB255460B862}
inline constexpr CLSID CLSID_AudioEndpointConfigVista = {
    0x294935CE, 0xF637, 0x4E7C, {0xA4, 0x1B, 0xAB, 0x25, 0x54, 0x60, 0xB8, 0x62}};
// {870AF99C-171D-4F9E-AF0D-E63DF40C2BC9}
inline constexpr CLSID CLSID_AudioEndpointConfig7 = {
    0x870AF99C, 0x171D, 0x4F9E, {0xAF, 0x0D, 0xE6, 0x3D, 0xF4, 0x0C, 0x2B, 0xC9}};
// {568B9108-44BF-40B4-9006-86AFE5B5A620}
inline constexpr IID IID_IAudioEndpointConfigVista = {
    0x568B9108, 0x44BF, 0x40B4, {0x90, 0x06, 0x86, 0xAF, 0xE5, 0xB5, 0xA6, 0x20}};
// {F8679F50-850A-41CF-9C72-430F290290C8}
inline constexpr IID IID_IAudioEndpointConfig7 = {
    0xF8679F50, 0x850A, 0x41CF, {0x9C, 0x72, 0x43, 0x0F, 0x29, 0x02, 0x90, 0xC8}};

// Which store WriteEndpointProperty writes into.
enum : int {
    ENDPOINT_STORE_DEVICE = 0,
    ENDPOINT_STORE_FX = 1,
};

// OpenFxStore is slot 5 in both generations.
struct IEndpointFxStoreAccess : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Reserved3() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved4() = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenFxStore(DWORD accessMode, IPropertyStore** store) = 0;
};
using IEndpointFxStoreAccessVista = IEndpointFxStoreAccess;
using IEndpointFxStoreAccess7 = IEndpointFxStoreAccess;

// Vista: WriteEndpointFormat in slot 5, WriteEndpointProperty in slot 11.
struct IAudioEndpointConfigVista : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Reserved3() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved4() = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteEndpointFormat(LPCWSTR endpointId,
                                                          WAVEFORMATEX* deviceFormat,
                                                          WAVEFORMATEX* mixFormat) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved7() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved8() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved9() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved10() = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteEndpointProperty(LPCWSTR endpointId, int fxStore,
                                                            const PROPERTYKEY& key,
                                                            PROPVARIANT* value) = 0;
};

// Windows 7: WriteEndpointFormat in slot 6, WriteEndpointProperty in slot 12.
struct IAudioEndpointConfig7 : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Reserved3() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved4() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteEndpointFormat(LPCWSTR endpointId,
                                                          WAVEFORMATEX* deviceFormat,
                                                          WAVEFORMATEX* mixFormat) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved7() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved8() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved9() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved10() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved11() = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteEndpointProperty(LPCWSTR endpointId, int fxStore,
                                                            const PROPERTYKEY& key,
                                                            PROPVARIANT* value) = 0;
};
