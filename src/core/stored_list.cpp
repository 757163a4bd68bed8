#include "stored_list.hpp"

#include <new>

namespace brenk::core {

namespace stored_list {

Prepared::Prepared(std::vector<Constraint>& list) : list_(list)
{
    if (list.size() <= inline_list_max) return;
    // The vector may have grown past its items, or been reserved for a length that was only a
    // claim: the stored list keeps no more room than they need.
    if (list.capacity() != list.size()) list.shrink_to_fit();
    moved_ = std::make_unique<std::vector<Constraint>>(std::move(list));
}

void Prepared::put(char* at) noexcept
{
    if (moved_) {
        std::vector<Constraint>* p = moved_.release();
        std::memcpy(at, &p, sizeof p);
        return;
    }
    auto* items = reinterpret_cast<Constraint*>(at);
    for (std::size_t i = 0; i < list_.size(); ++i) new (items + i) Constraint(std::move(list_[i]));
}

void destroy(char* at, std::size_t stored_count) noexcept
{
    if (std::vector<Constraint>* list = external(at, stored_count)) {
        delete list;
        return;
    }
    std::destroy_n(reinterpret_cast<Constraint*>(at), stored_count);
}

} // namespace stored_list

} // namespace brenk::core
