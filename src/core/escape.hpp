#pragma once
// Debug escaping of text, used by the debug forms of versions and version errors.
#include <string>
#include <string_view>

namespace brenk::core {

/// Appends `text` (UTF-8) escaped for display between `quote` characters: the quote and
/// backslash get a backslash, \t \r \n \0 their short forms, control characters, format
/// characters and combining marks become \u{hex}. Invalid UTF-8 bytes become \u{fffd}.
void append_escaped(std::string& out, std::string_view text, char quote);

} // namespace brenk::core
