#pragma once

#include <string>

namespace sim::machine {

// From now on this program's loads of the extension library by its bare file name load the file
// at `path` instead, or find nothing (ERROR_MOD_NOT_FOUND) when `path` is empty: the bench's way
// to put a defective library, or none, in place of the complete one beside it, which the search
// would find first. Other loads go on unchanged. False if the load could not be rerouted.
bool RouteExtensionLibraryTo(const std::wstring& path);

// The stand-in library of one variant ("full", "missing-last", ...), in its folder beside this
// program (<folder of halvo-sim.exe>\extension\<variant>\XANPropPageExt.dll); empty when the
// variant is not there.
std::wstring ExtensionVariantPath(const std::wstring& variant);

}  // namespace sim::machine
