#include "outline.hpp"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "packed.hpp"

namespace brenk::core {
namespace {

// Block layout: the constraint count (8 bytes), the constraints, then the packed bytes. More
// than inline_max constraints stay in the vector they came in (moved, so no second large
// block is needed), its pointer in place of the constraints and the count set to `external`.
constexpr std::size_t constraints_offset = sizeof(std::uint64_t);
constexpr std::size_t inline_max = 254;
constexpr std::uint64_t external = UINT64_MAX;

std::vector<Constraint>* external_list(const char* block) noexcept
{
    std::uint64_t count = 0;
    std::memcpy(&count, block, sizeof count);
    if (count != external) return nullptr;
    std::vector<Constraint>* list = nullptr;
    std::memcpy(&list, block + constraints_offset, sizeof list);
    return list;
}

} // namespace

OutlineRecord::OutlineRecord(std::string_view name, std::vector<Constraint> constraints,
                             const OptionSettings& set_options, const OptionDefaults& set_defaults)
{
    const bool inline_items = constraints.size() <= inline_max;
    std::unique_ptr<std::vector<Constraint>> list;
    if (!inline_items) list = std::make_unique<std::vector<Constraint>>(std::move(constraints));
    const std::size_t size =
        constraints_offset + (inline_items ? constraints.size() * sizeof(Constraint) : sizeof(void*)) +
        packed::text_size(name) + packed::varint_size(set_options.size()) + set_options.bytes().size() +
        packed::varint_size(set_defaults.size()) + set_defaults.bytes().size();
    block_ = static_cast<char*>(::operator new(size));
    char* out = block_ + constraints_offset;
    if (list) {
        std::memcpy(block_, &external, sizeof external);
        std::vector<Constraint>* p = list.release();
        std::memcpy(out, &p, sizeof p);
        out += sizeof p;
    }
    else {
        const std::uint64_t count = constraints.size();
        std::memcpy(block_, &count, sizeof count);
        auto* items = reinterpret_cast<Constraint*>(out);
        for (std::size_t i = 0; i < count; ++i) new (items + i) Constraint(std::move(constraints[i]));
        out = reinterpret_cast<char*>(items + count);
    }
    out = packed::put_text(out, name);
    out = packed::put_varint(out, set_options.size());
    std::memcpy(out, set_options.bytes().data(), set_options.bytes().size());
    out = packed::put_varint(out + set_options.bytes().size(), set_defaults.size());
    std::memcpy(out, set_defaults.bytes().data(), set_defaults.bytes().size());
}

OutlineRecord::~OutlineRecord()
{
    if (block_ == nullptr) return;
    if (std::vector<Constraint>* list = external_list(block_)) {
        delete list;
    }
    else {
        for (const Constraint& c : constraints()) const_cast<Constraint&>(c).~Constraint();
    }
    ::operator delete(block_);
}

std::span<const Constraint> OutlineRecord::constraints() const noexcept
{
    if (const std::vector<Constraint>* list = external_list(block_)) return *list;
    std::uint64_t count = 0;
    std::memcpy(&count, block_, sizeof count);
    return {reinterpret_cast<const Constraint*>(block_ + constraints_offset), static_cast<std::size_t>(count)};
}

std::string_view OutlineRecord::name() const noexcept
{
    const char* p = block_ + constraints_offset;
    p += external_list(block_) != nullptr ? sizeof(void*) : constraints().size() * sizeof(Constraint);
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
