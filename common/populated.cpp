#include "common/populated.h"

#include <sys/mman.h>

#include <cstdlib>

namespace {

// A transparent huge page: one mapping, one zeroing and one release for an image of up
// to 2 MiB, where small pages take some three hundred of each.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

void* alloc_populated(std::size_t size) {
#if defined(MADV_HUGEPAGE) && defined(MADV_POPULATE_WRITE)
  // Worth it only for a block that fills much of a huge page: a whole disk image.
  if (size >= kHugePage / 2) {
    const std::size_t whole = (size + kHugePage - 1) / kHugePage * kHugePage;
    void* block = std::aligned_alloc(kHugePage, whole);
    if (block != nullptr) {
      // Either may be refused (huge pages switched off, an old kernel); the memory is
      // then mapped page by page as it is touched, as malloc's would be.
      (void)madvise(block, whole, MADV_HUGEPAGE);
      (void)madvise(block, whole, MADV_POPULATE_WRITE);
      return block;
    }
  }
#endif
  return std::malloc(size > 0 ? size : 1);
}
