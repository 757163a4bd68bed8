#pragma once
// The record a package outline holds: built once, never changed.
#include <algorithm>
#include <numeric>
#include <optional>
#include <span>
#include <string>
#include <string_view>
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
    const std::vector<std::pair<std::string, V>>& entries() const noexcept { return entries_; }
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

using OptionSettings = OptionMap<OptionValue>;
using OptionDefaults = OptionMap<std::optional<OptionValue>>;  // an empty value: declared, no default

/// What a package outline holds, in one block: the constraints, then the name and the option
/// entries packed as bytes (a length-prefixed name, then a packed value, or for a default
/// declared without one the byte no_default).
class OutlineRecord {
public:
    static constexpr char no_default = '\xff';

    OutlineRecord(std::string_view name, std::vector<Constraint> constraints, const OptionSettings& set_options,
                  const OptionDefaults& set_defaults);
    OutlineRecord(OutlineRecord&& o) noexcept : block_(std::exchange(o.block_, nullptr)) {}
    OutlineRecord& operator=(OutlineRecord&&) = delete;
    /// Releases the constraints (each iteratively), then the block.
    ~OutlineRecord();

    std::span<const Constraint> constraints() const noexcept;
    std::string_view name() const noexcept;
    /// The entries as they were packed, in order (for checks; nothing else reads them).
    std::vector<std::pair<std::string, OptionValue>> set_options() const;
    std::vector<std::pair<std::string, std::optional<OptionValue>>> set_defaults() const;

private:
    const char* packed_entries() const noexcept;
    char* block_;
};

}  // namespace brenk
