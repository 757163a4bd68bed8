#pragma once
// Thread identity for IfThen ownership and internal-failure reports.
#include <atomic>
#include <cstdint>

namespace brenk::py {

/// A process-unique number for the calling thread, never reused (unlike OS thread ids).
inline std::uint64_t current_thread_id() noexcept
{
    static std::atomic<std::uint64_t> next{1};
    thread_local const std::uint64_t id = next.fetch_add(1, std::memory_order_relaxed);
    return id;
}

} // namespace brenk::py
