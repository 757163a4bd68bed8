#pragma once
// Generic version values: a strict parser, the text form and the debug form.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "enums.hpp"
#include "rc.hpp"
#include "result.hpp"

namespace brenk::core {

/// One part of a version, decoded from the text form. Str parts are a slice of that text,
/// which reproduces every Str segment unchanged.
struct VersionPart {
    PartKind kind;
    char sep;              // Sep: '.', '-' or '+'
    WildcardKind wildcard; // Wildcard: Single ("*") or Rest (">")
    std::uint32_t number;  // Int
    std::size_t offset;    // Str: slice of the text form
    std::size_t length;
};

/// Immutable parsed version: only the text form, right after this header in the same block.
/// The text form determines the parts: an all-digit segment in it is an Int exactly when its
/// value fits 32 bits (Int parts are written without leading zeros, and an all-digit Str
/// segment only exists because its value does not fit), so parts are decoded on demand.
struct VersionData : Counted {
    std::uint32_t size = 0;

    char* text() noexcept { return reinterpret_cast<char*>(this + 1); }
    const char* text() const noexcept { return reinterpret_cast<const char*>(this + 1); }

    /// One block for `text_capacity` text bytes, at most max_version_text: callers check first
    /// (parse_version refuses a longer text; every other text came from a version).
    static VersionData* allocate(std::size_t text_capacity);
    static void operator delete(void* p) noexcept { ::operator delete(p); }
};

/// A shared, immutable version value; copies share the block.
class Version {
public:
    explicit Version(Rc<VersionData> data) : data_(std::move(data)) {}
    /// A version whose text form is `text`, which must be one (as text() returned it).
    static Version from_text(std::string_view text);
    /// The text form: Int parts without leading zeros, everything else unchanged.
    std::string_view text() const noexcept { return {data_->text(), data_->size}; }
    /// Segments at even positions, separators at odd ones.
    std::vector<VersionPart> parts() const;
    std::string_view str_of(const VersionPart& p) const noexcept { return text().substr(p.offset, p.length); }
    /// The debug form: Version { parts: [Int(1), Sep('.'), Int(2)] }
    std::string debug() const;
    /// The shared block (for handles that keep the value alive outside a Version).
    const Rc<VersionData>& data() const noexcept { return data_; }

private:
    Rc<VersionData> data_;
};

/// The longest text a version holds: its length is kept in 32 bits.
inline constexpr std::size_t max_version_text = UINT32_MAX;

struct VersionError {
    VersionErrorKind kind;
    std::string segment; // InvalidPart only
    /// The rendering users see: EmptyPart, InvalidPart("1_0"), ...; for TooLong a sentence
    /// naming the limit, since no segment rule was broken.
    std::string render() const;
};

/// Parses a UTF-8 version text, or refuses it with the broken rule. A text longer than
/// max_version_text is refused as TooLong before anything is allocated.
Result<Version, VersionError> parse_version(std::string_view text);

/// Appends the debug form of one part (Int(1), Str("rc1"), Wildcard(Rest), Sep('.')).
void append_part_debug(std::string& out, const Version& v, const VersionPart& p);

} // namespace brenk::core
