#pragma once
// Small-block allocator for constraint nodes: blocks of up to max_pooled bytes, in classes of
// 16-byte steps, carved from shared slabs with no per-block header. The general allocator
// spends at least 32 bytes on any block; most nodes need 16 or 32.
#include <cstddef>

namespace brenk::core::pool {

inline constexpr std::size_t max_pooled = 64;

/// A block of at least `size` bytes, 16-aligned; larger sizes come from operator new.
void* allocate(std::size_t size);
/// Returns a block from allocate(size), from any thread.
void deallocate(void* p, std::size_t size) noexcept;

} // namespace brenk::core::pool
