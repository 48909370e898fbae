#include "common/populated.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

void* alloc_populated(std::size_t size) {
  void* block = std::malloc(size > 0 ? size : 1);
#ifdef MADV_POPULATE_WRITE
  // Only whole pages inside the block can be populated; a large block comes straight
  // from the kernel, so that is all of it but its first and last few bytes.
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t lead = (page - start % page) % page;  // bytes before the first whole page
  if (block != nullptr && size > lead + page) {
    const std::uintptr_t whole = (size - lead) / page * page;
    (void)madvise(static_cast<char*>(block) + lead, whole, MADV_POPULATE_WRITE);
  }
#endif
  return block;
}
