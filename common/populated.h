// Memory for a whole disk image, filled with page mappings in one go.
//
// An image is read into fresh memory in one block. Left to itself the kernel maps that
// memory a page at a time as the read first touches it, some three hundred faults for
// a 1.2 MiB image, which cost more than the read itself. alloc_populated takes a large
// block as transparent huge pages and maps them at once: one fault's worth of work
// instead of hundreds, also when the process ends. The block comes from the C heap and
// is released with free(); the call may return null, as malloc may. Where the system
// offers no huge pages or cannot populate ahead, the memory is simply mapped as it is
// touched. A block is rounded up to whole huge pages, so it may hold up to 2 MiB more
// than asked for.
#pragma once

#include <cstddef>

void* alloc_populated(std::size_t size);
