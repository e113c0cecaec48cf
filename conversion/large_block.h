// Buffers of many megabytes (decoded images, resampled images, a PNG's
// filtered rows and their compressed form) come from 2 MB-aligned memory
// that the kernel may back with huge pages: filling a fresh buffer then
// costs one page fault per 2 MB instead of one per 4 KB, which on virtual
// machines was a third of a JPEG to PNG conversion. Smaller blocks come
// from malloc as usual; every block is released with free().
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace rkconv {

// `count` bytes (at least one), not initialised; null when out of memory.
std::uint8_t *allocate_block(std::size_t count);
// `count` bytes of zeros; null when out of memory or when count * size overflows.
std::uint8_t *allocate_zeroed_block(std::size_t count, std::size_t size);
// `count` bytes, not initialised, in whole huge pages whatever the size: for
// scratch buffers of a few hundred kilobytes that are filled at once, where
// one fault of 2 MB costs less than a hundred of 4 KB.
std::uint8_t *allocate_huge_paged(std::size_t count);

struct block_freer {
    void operator()(std::uint8_t *block) const noexcept { std::free(block); }
};
using owned_block = std::unique_ptr<std::uint8_t, block_freer>;

}  // namespace rkconv
