#pragma once
// Small-block allocator for constraint nodes: blocks of up to max_pooled bytes, in classes of
// 16-byte steps, carved from 16 KiB slabs with no per-block header. The general allocator
// spends at least 32 bytes on any block; most nodes need 16 or 32. Slabs whose blocks are all
// free go back to the system beyond a small reserve.
#include <cstddef>

namespace brenk::core::pool {

inline constexpr std::size_t max_pooled = 64;

/// A block of at least `size` bytes, 16-aligned; larger sizes come from operator new.
void* allocate(std::size_t size);
/// Returns a block from allocate(size), from any thread.
void deallocate(void* p, std::size_t size) noexcept;

/// What the pool holds, for tests and diagnostics.
struct Usage {
    std::size_t heap_blocks;    ///< blocks the pool itself has from operator new
    std::size_t resident_slabs; ///< slabs with pages: in use by a class, or kept empty in reserve
    std::size_t empty_slabs;    ///< of those, the reserve of empty ones
    std::size_t blocks_in_use;  ///< blocks handed out and not returned, outside the calling
                                ///< thread's cache; exact when no other thread holds blocks
};
Usage usage() noexcept;

/// Empty slabs (16 KiB each) kept with their pages, so that a build-and-drop loop reuses them.
inline constexpr std::size_t reserve_slabs = 256;
/// Empty slabs beyond the reserve go back to the system this many at a time.
inline constexpr std::size_t release_batch = 64;

} // namespace brenk::core::pool
