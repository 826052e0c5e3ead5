#pragma once

#include <windows.h>
#include <propidl.h>

// The 32-bit payload of a property value whatever its type, as the effect words and the form
// factor are read: the first four bytes of the value (ulVal). A value whose payload is a pointer
// (a string, a CLSID, an interface, a by-reference or SAFEARRAY value) carries no such number,
// only address bits: false then, so that no word is ever made of an address.
bool GetPropVariantPayload32(const PROPVARIANT& value, ULONG* payload);
