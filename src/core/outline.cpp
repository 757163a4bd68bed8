#include "outline.hpp"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "packed.hpp"

namespace brenk::core {
namespace {

// Block layout: the constraints' stored count (8 bytes), the stored constraints, then the
// packed bytes.
constexpr std::size_t constraints_offset = sizeof(std::uint64_t);

std::size_t stored_count(const char* block) noexcept
{
    std::uint64_t count = 0;
    std::memcpy(&count, block, sizeof count);
    return static_cast<std::size_t>(count);
}

// A map: its entry count and byte size (varints), the packed entries, one byte telling whether
// an order table follows, then the table (the entries' offsets in name order, 8 bytes each).
std::size_t map_size(std::size_t count, std::string_view bytes, const std::vector<std::uint64_t>& order) noexcept
{
    return packed::varint_size(count) + packed::varint_size(bytes.size()) + bytes.size() + 1 +
           order.size() * sizeof(std::uint64_t);
}

char* put_map(char* out, std::size_t count, std::string_view bytes, const std::vector<std::uint64_t>& order) noexcept
{
    out = packed::put_varint(out, count);
    out = packed::put_varint(out, bytes.size());
    if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
    out += bytes.size();
    *out++ = order.empty() ? 0 : 1;
    if (!order.empty()) std::memcpy(out, order.data(), order.size() * sizeof(std::uint64_t));
    return out + order.size() * sizeof(std::uint64_t);
}

/// Reads the map at `in` and advances `in` past it.
OutlineRecord::PackedMap get_map(const char*& in) noexcept
{
    const auto count = static_cast<std::size_t>(packed::get_varint(in));
    const auto size = static_cast<std::size_t>(packed::get_varint(in));
    const std::string_view bytes(in, size);
    in += size;
    const bool has_order = *in++ != 0;
    const char* order = has_order ? in : nullptr;
    if (has_order) in += count * sizeof(std::uint64_t);
    return {count, bytes, order};
}

} // namespace

OutlineRecord::OutlineRecord(std::string_view name, std::vector<Constraint> constraints,
                             const OptionSettings& set_options, const OptionDefaults& set_defaults)
{
    const std::vector<std::uint64_t> options_order = set_options.name_order();
    const std::vector<std::uint64_t> defaults_order = set_defaults.name_order();
    stored_list::Prepared list(constraints);
    const std::uint64_t count = list.stored_count();
    const std::size_t size = constraints_offset + stored_list::bytes(count) + packed::text_size(name) +
                             map_size(set_options.size(), set_options.bytes(), options_order) +
                             map_size(set_defaults.size(), set_defaults.bytes(), defaults_order);
    block_ = static_cast<char*>(::operator new(size));
    std::memcpy(block_, &count, sizeof count);
    list.put(block_ + constraints_offset);
    char* out = block_ + constraints_offset + stored_list::bytes(count);
    out = packed::put_text(out, name);
    out = put_map(out, set_options.size(), set_options.bytes(), options_order);
    put_map(out, set_defaults.size(), set_defaults.bytes(), defaults_order);
}

OutlineRecord::~OutlineRecord()
{
    if (block_ != nullptr) stored_list::destroy(block_ + constraints_offset, stored_count(block_));
    ::operator delete(block_);
}

std::span<const Constraint> OutlineRecord::constraints() const noexcept
{
    return stored_list::get(block_ + constraints_offset, stored_count(block_));
}

std::string_view OutlineRecord::name() const noexcept
{
    const char* p = block_ + constraints_offset + stored_list::bytes(stored_count(block_));
    return packed::get_text(p);
}

const char* OutlineRecord::packed_entries() const noexcept
{
    const std::string_view n = name();
    return n.data() + n.size();
}

OutlineRecord::PackedMap OutlineRecord::options_map() const noexcept
{
    const char* p = packed_entries();
    return get_map(p);
}

OutlineRecord::PackedMap OutlineRecord::defaults_map() const noexcept
{
    const char* p = packed_entries();
    get_map(p);
    return get_map(p);
}

std::vector<std::pair<std::string, OptionValue>> OutlineRecord::set_options() const
{
    const PackedMap map = options_map();
    const char* p = map.bytes.data();
    std::vector<std::pair<std::string, OptionValue>> out(map.count);
    for (auto& [key, value] : out) {
        key = packed::get_text(p);
        value = packed::get_value(p);
    }
    return out;
}

std::vector<std::pair<std::string, std::optional<OptionValue>>> OutlineRecord::set_defaults() const
{
    const PackedMap map = defaults_map();
    const char* p = map.bytes.data();
    std::vector<std::pair<std::string, std::optional<OptionValue>>> out(map.count);
    for (auto& [key, value] : out) {
        key = packed::get_text(p);
        if (*p == packed::no_value) {
            ++p;
        }
        else {
            value = packed::get_value(p);
        }
    }
    return out;
}

} // namespace brenk::core
