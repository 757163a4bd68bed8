#pragma once
// The canonical JSON form of outlines, constraints and option values (docs/host.md).
//
// Canonical: equal data gives equal bytes. Members are in bytewise name order, option maps in
// bytewise key order, no whitespace; integers are exact; a float is its shortest round-trip
// digits in the layout Python's repr() uses (always with a '.' or an exponent, so it never reads
// as an integer), -0.0 included; NaN and the infinities, which JSON has no number for, are
// {"Float":"NaN"}, {"Float":"Infinity"}, {"Float":"-Infinity"}; a version is {"Version":text};
// texts are UTF-8 with the escapes RFC 8259 requires (short forms where they exist, \u00xx for
// other control characters) and nothing else escaped.
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "constraint.hpp"
#include "outline.hpp"
#include "sink.hpp"

namespace brenk::core::json {

enum class Status : unsigned char {
    ok,
    stopped,      // the sink refused a write
    invalid_text, // a text is not valid UTF-8 (the binding never stores one)
};

/// Writes JSON into a sink through a small staging buffer, so the output never exists twice.
class Writer {
public:
    explicit Writer(Sink& sink) noexcept : sink_(sink) {}
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Each call writes one whole value and hands it to the sink before it returns.

    /// An outline's object; `script`, when not null, adds the member "script" with that text.
    Status outline(const OutlineRecord& record, const std::string_view* script = nullptr);
    /// One constraint tree, iteratively (any depth).
    Status constraint(const Constraint& root);
    /// A packed option value (see packed::put_value).
    Status packed_value(const char* packed);

private:
    /// Hands what is staged to the sink; false when the sink refused it.
    bool flush();
    void raw(std::string_view piece)
    {
        if (piece.size() <= capacity - used_) {
            if (!piece.empty()) std::memcpy(buffer_ + used_, piece.data(), piece.size());
            used_ += piece.size();
            return;
        }
        raw_slow(piece);
    }
    void raw_slow(std::string_view piece);
    void text(std::string_view t);
    void value(const char* packed);
    void float_number(double d);
    void map(const OutlineRecord::PackedMap& map);
    void leaf(const Node* n);
    void tree(const Node* root);
    Status finish();

    Sink& sink_;
    static constexpr std::size_t capacity = 16384;
    char buffer_[capacity];
    std::size_t used_ = 0;
    bool failed_ = false;
    bool invalid_ = false;
};

/// The float text alone (the tagged forms for NaN and the infinities as well).
void append_float(std::string& out, double d);

/// The whole object as a string (tests, small outputs); an invalid text cuts it short.
std::string outline_string(const OutlineRecord& record);
std::string constraint_string(const Constraint& c);

} // namespace brenk::core::json
