#pragma once

#include <cstddef>

namespace sim::audio {

// Watches every CoTaskMemAlloc, CoTaskMemRealloc and CoTaskMemFree of the process from the moment
// it is installed, so a test can tell that every block handed to the system (ids, strings and
// blobs in PROPVARIANTs) was freed. New blocks come filled with 0xCD, not zeroes, as nothing
// promises their content. Install once, before the first test, on any thread.
void InstallMallocSpy();

// Blocks allocated since installation and not yet freed.
size_t LiveCoTaskMemBlocks();

// Makes the next `count` CoTaskMemAlloc calls for exactly `size` bytes fail (return null), so a
// test can show what the program does without memory for one kind of block.
void FailCoTaskMemAllocs(size_t size, int count);

}  // namespace sim::audio
