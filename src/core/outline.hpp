#pragma once
// The record a package outline holds: built once, never changed.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "constraint.hpp"
#include "packed.hpp"
#include "stored_list.hpp"

namespace brenk::core {

/// Option name to value, unique names, a later entry replacing an earlier one of the same
/// name. Entries are packed as they come (a length-prefixed name, then the packed value, or
/// for an empty optional the byte packed::no_value); when the caller cannot vouch that names
/// are distinct, finish() removes the replaced ones. Readers see them in name order through
/// the record's order table (OutlineRecord::PackedMap).
template <class V> class OptionMap {
public:
    void reserve(std::size_t n) { bytes_.reserve(n * 16); }
    /// `known_distinct`: the name cannot equal any other name appended with this flag set.
    void assign(std::string_view name, const V& value, bool known_distinct)
    {
        may_repeat_ = may_repeat_ || !known_distinct;
        const std::size_t at = bytes_.size();
        bytes_.resize(at + packed::text_size(name) + packed::value_size(value));
        packed::put_value(packed::put_text(bytes_.data() + at, name), value);
        ++count_;
    }
    /// Drops every entry that a later entry of the same name replaces.
    void finish()
    {
        if (!may_repeat_) return;
        may_repeat_ = false;
        struct Entry {
            std::string_view name;
            std::size_t start, end;
        };
        std::vector<Entry> entries;
        entries.reserve(count_);
        for (const char* p = bytes_.data(); p != bytes_.data() + bytes_.size();) {
            const std::size_t start = static_cast<std::size_t>(p - bytes_.data());
            const std::string_view name = packed::get_text(p);
            packed::get_value_end(p);
            entries.push_back(Entry{name, start, static_cast<std::size_t>(p - bytes_.data())});
        }
        std::vector<std::size_t> order(entries.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return entries[a].name < entries[b].name; });
        std::vector<bool> keep(entries.size(), true);
        for (std::size_t i = 0; i + 1 < order.size(); ++i) {
            if (entries[order[i]].name == entries[order[i + 1]].name) keep[order[i]] = false;
        }
        std::string kept;
        kept.reserve(bytes_.size());
        count_ = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (!keep[i]) continue;
            kept.append(bytes_, entries[i].start, entries[i].end - entries[i].start);
            ++count_;
        }
        bytes_ = std::move(kept);
    }
    std::size_t size() const noexcept { return count_; }
    std::string_view bytes() const noexcept { return bytes_; }
    /// The entries' offsets in bytes() in bytewise name order, or empty when that is already
    /// the packing order. Names are unique once finish() has run.
    std::vector<std::uint64_t> name_order() const
    {
        std::vector<std::uint64_t> offsets;
        std::vector<std::string_view> names;
        names.reserve(count_);
        offsets.reserve(count_);
        bool sorted = true;
        for (const char* p = bytes_.data(); p != bytes_.data() + bytes_.size();) {
            offsets.push_back(static_cast<std::uint64_t>(p - bytes_.data()));
            names.push_back(packed::get_text(p));
            packed::get_value_end(p);
            sorted = sorted && (names.size() == 1 || names[names.size() - 2] < names.back());
        }
        if (sorted) return {};
        std::vector<std::size_t> order(names.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return names[a] < names[b]; });
        std::vector<std::uint64_t> sorted_offsets(order.size());
        for (std::size_t i = 0; i < order.size(); ++i) sorted_offsets[i] = offsets[order[i]];
        return sorted_offsets;
    }

private:
    std::string bytes_;
    std::size_t count_ = 0;
    bool may_repeat_ = false;
};

using OptionSettings = OptionMap<OptionValue>;
using OptionDefaults = OptionMap<std::optional<OptionValue>>; // an empty value: declared, no default

/// What a package outline holds, in one block: the constraints, then the name and the option
/// entries packed as bytes, as OptionMap packs them, each map followed by its order table.
class OutlineRecord {
public:
    /// One option map as stored: `count` entries packed in `bytes`; `order`, when not null, holds
    /// `count` unaligned 8-byte offsets into `bytes` in bytewise name order (null: the packing
    /// order is name order already).
    struct PackedMap {
        std::size_t count;
        std::string_view bytes;
        const char* order;
        /// The offset in `bytes` of the `i`th entry in name order; only when `order` is set.
        std::size_t order_offset(std::size_t i) const noexcept
        {
            std::uint64_t at = 0;
            std::memcpy(&at, order + i * sizeof at, sizeof at);
            return static_cast<std::size_t>(at);
        }
    };

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
    /// The maps as stored, for readers that walk them in name order without unpacking.
    PackedMap options_map() const noexcept;
    PackedMap defaults_map() const noexcept;

private:
    const char* packed_entries() const noexcept;
    char* block_;
};

} // namespace brenk::core
