#include "large_block.h"

#include <sys/mman.h>

#include <cstdint>

namespace rkconv {
namespace {

constexpr std::size_t huge_page = std::size_t{2} << 20;
// Below this a block holds at most one whole huge page.
constexpr std::size_t smallest_large_block = 2 * huge_page;

// Only advice: where the kernel has no huge pages to give, small ones serve.
// The whole huge pages inside the block are advised; its ends stay small.
void advise_huge_pages(void *block, std::size_t count) {
    if (block == nullptr || count < smallest_large_block) return;
    auto *bytes = static_cast<std::uint8_t *>(block);
    const std::size_t lead = (huge_page - reinterpret_cast<std::uintptr_t>(bytes) % huge_page) % huge_page;
    const std::size_t whole = (count - lead) / huge_page * huge_page;
    if (whole > 0) ::madvise(bytes + lead, whole, MADV_HUGEPAGE);
}

}  // namespace

std::uint8_t *allocate_block(std::size_t count) {
    void *block = std::malloc(count == 0 ? 1 : count);
    advise_huge_pages(block, count);
    return static_cast<std::uint8_t *>(block);
}

std::uint8_t *allocate_zeroed_block(std::size_t count, std::size_t size) {
    // calloc checks count * size and hands fresh mappings over without clearing them again.
    void *block = std::calloc(count == 0 ? 1 : count, size == 0 ? 1 : size);
    advise_huge_pages(block, count * size);
    return static_cast<std::uint8_t *>(block);
}

}  // namespace rkconv
