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

} // namespace

OutlineRecord::OutlineRecord(std::string_view name, std::vector<Constraint> constraints,
                             const OptionSettings& set_options, const OptionDefaults& set_defaults)
{
    stored_list::Prepared list(constraints);
    const std::uint64_t count = list.stored_count();
    const std::size_t size = constraints_offset + stored_list::bytes(count) + packed::text_size(name) +
                             packed::varint_size(set_options.size()) + set_options.bytes().size() +
                             packed::varint_size(set_defaults.size()) + set_defaults.bytes().size();
    block_ = static_cast<char*>(::operator new(size));
    std::memcpy(block_, &count, sizeof count);
    list.put(block_ + constraints_offset);
    char* out = block_ + constraints_offset + stored_list::bytes(count);
    out = packed::put_text(out, name);
    out = packed::put_varint(out, set_options.size());
    std::memcpy(out, set_options.bytes().data(), set_options.bytes().size());
    out = packed::put_varint(out + set_options.bytes().size(), set_defaults.size());
    std::memcpy(out, set_defaults.bytes().data(), set_defaults.bytes().size());
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

std::vector<std::pair<std::string, OptionValue>> OutlineRecord::set_options() const
{
    const char* p = packed_entries();
    std::vector<std::pair<std::string, OptionValue>> out(packed::get_varint(p));
    for (auto& [key, value] : out) {
        key = packed::get_text(p);
        value = packed::get_value(p);
    }
    return out;
}

std::vector<std::pair<std::string, std::optional<OptionValue>>> OutlineRecord::set_defaults() const
{
    const char* p = packed_entries();
    for (auto n = packed::get_varint(p); n > 0; --n) {
        packed::get_text(p);
        packed::get_value(p);
    }
    std::vector<std::pair<std::string, std::optional<OptionValue>>> out(packed::get_varint(p));
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
