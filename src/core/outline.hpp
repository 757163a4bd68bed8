#pragma once
// The record a package outline holds: built once, never changed.
#include <algorithm>
#include <numeric>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "constraint.hpp"

namespace brenk {

/// Option name to value, unique names, a later entry replacing an earlier one of the same
/// name. Entries are appended as they come; when the caller cannot vouch that names are
/// distinct, finish() removes the replaced ones. Nothing reads entries back in any order.
template <class V>
class OptionMap {
public:
    void reserve(std::size_t n) { entries_.reserve(n); }
    /// `known_distinct`: the name cannot equal any other name appended with this flag set.
    void assign(std::string name, V value, bool known_distinct)
    {
        may_repeat_ = may_repeat_ || !known_distinct;
        entries_.emplace_back(std::move(name), std::move(value));
    }
    /// Drops every entry that a later entry of the same name replaces.
    void finish()
    {
        if (!may_repeat_) return;
        may_repeat_ = false;
        std::vector<std::size_t> order(entries_.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return entries_[a].first < entries_[b].first; });
        std::vector<bool> keep(entries_.size(), true);
        for (std::size_t i = 0; i + 1 < order.size(); ++i) {
            if (entries_[order[i]].first == entries_[order[i + 1]].first) keep[order[i]] = false;
        }
        std::vector<std::pair<std::string, V>> kept;
        kept.reserve(entries_.size());
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (keep[i]) kept.push_back(std::move(entries_[i]));
        }
        entries_ = std::move(kept);
    }
    std::size_t size() const noexcept { return entries_.size(); }
    /// The value stored for `name`, or null.
    const V* find(std::string_view name) const noexcept
    {
        for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
            if (it->first == name) return &it->second;
        }
        return nullptr;
    }

private:
    std::vector<std::pair<std::string, V>> entries_;
    bool may_repeat_ = false;
};

/// Fields are released in declaration order: name, constraints, set_options, set_defaults.
struct OutlineRecord {
    std::string name;
    std::vector<Constraint> constraints;
    OptionMap<OptionValue> set_options;
    OptionMap<std::optional<OptionValue>> set_defaults;  // an empty value: declared, no default
};

}  // namespace brenk
