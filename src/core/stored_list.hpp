#pragma once
// Lists of constraints stored in a block beside other data: a NumOf's items, an outline's
// constraints.
#include <cstddef>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "constraint.hpp"

namespace brenk::core {

/// A list of constraints stored in a block beside other data (a NumOf's items, an outline's
/// constraints). Up to inline_list_max constraints are stored in place; a longer list keeps the
/// vector it was built in (moved, not copied, unless it holds more room than its items need)
/// behind a pointer in their place. The block also keeps the list's stored count: its length when
/// inline, external_list_count when moved.
namespace stored_list {
inline constexpr std::size_t inline_list_max = 254;
inline constexpr std::size_t external_list_count = inline_list_max + 1;

/// The bytes the list takes in the block, for its stored count.
constexpr std::size_t bytes(std::size_t stored_count) noexcept
{
    return stored_count == external_list_count ? sizeof(void*) : stored_count * sizeof(Constraint);
}

/// A list ready to be stored: a long one is first moved into a vector of its own, so that
/// nothing can fail once the block that will hold it is allocated.
class Prepared {
public:
    explicit Prepared(std::vector<Constraint>& list);
    std::size_t stored_count() const noexcept { return moved_ ? external_list_count : list_.size(); }
    /// Moves the items (or the moved vector's pointer) to `at`, aligned for a Constraint and
    /// bytes(stored_count()) long.
    void put(char* at) noexcept;

private:
    std::vector<Constraint>& list_;
    std::unique_ptr<std::vector<Constraint>> moved_;
};
/// The moved vector, or null for an inline list.
inline std::vector<Constraint>* external(const char* at, std::size_t stored_count) noexcept
{
    if (stored_count != external_list_count) return nullptr;
    std::vector<Constraint>* list = nullptr;
    std::memcpy(&list, at, sizeof list);
    return list;
}
inline std::span<const Constraint> get(const char* at, std::size_t stored_count) noexcept
{
    if (const std::vector<Constraint>* list = external(at, stored_count)) return *list;
    return {reinterpret_cast<const Constraint*>(at), stored_count};
}
/// Destroys the list's items and frees a moved vector.
void destroy(char* at, std::size_t stored_count) noexcept;
} // namespace stored_list
using stored_list::inline_list_max;

} // namespace brenk::core
