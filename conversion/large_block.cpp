#include "large_block.h"

#include <sys/mman.h>

#include <cstring>
#include <limits>

namespace rkconv {
namespace {

constexpr std::size_t huge_page = std::size_t{2} << 20;
// Below this the rounding to whole huge pages would waste too much.
constexpr std::size_t smallest_large_block = 2 * huge_page;

}  // namespace

std::uint8_t *allocate_block(std::size_t count) {
    if (count < smallest_large_block) return static_cast<std::uint8_t *>(std::malloc(count == 0 ? 1 : count));
    return allocate_huge_paged(count);
}

std::uint8_t *allocate_huge_paged(std::size_t count) {
    if (count == 0) count = 1;
    if (count > std::numeric_limits<std::size_t>::max() - huge_page) return nullptr;
    const std::size_t rounded = (count + huge_page - 1) / huge_page * huge_page;
    void *block = std::aligned_alloc(huge_page, rounded);
    // Only advice: where the kernel has no huge pages to give, small ones serve.
    if (block != nullptr) ::madvise(block, rounded, MADV_HUGEPAGE);
    return static_cast<std::uint8_t *>(block);
}

std::uint8_t *allocate_zeroed_block(std::size_t count, std::size_t size) {
    if (size != 0 && count > std::numeric_limits<std::size_t>::max() / size) return nullptr;
    const std::size_t bytes = count * size;
    if (bytes < smallest_large_block) return static_cast<std::uint8_t *>(std::calloc(bytes == 0 ? 1 : bytes, 1));
    std::uint8_t *block = allocate_block(bytes);
    if (block != nullptr) std::memset(block, 0, bytes);
    return block;
}

}  // namespace rkconv
