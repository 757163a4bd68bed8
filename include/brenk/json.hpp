#pragma once
// The canonical JSON form of outlines and constraints (format: docs/host.md, schema:
// docs/outline.schema.json). Equal data gives equal bytes; the writer streams into its
// destination through a small buffer and walks trees with an explicit stack.
#include <cstdio>
#include <string>
#include <string_view>

#include "read.hpp"

namespace brenk {

enum class JsonStatus : unsigned char {
    ok,
    write_failed, // the destination refused a write (errno tells why for a file or descriptor)
    invalid_text, // a text is not valid UTF-8; records built by the module never hold one
};

/// Appends the outline's object to `out`; with `script`, adds the member "script" with it.
JsonStatus write_json(OutlineView outline, std::string& out, const std::string_view* script = nullptr);
/// Writes it to a stream (not flushed) or to a file descriptor (written through).
JsonStatus write_json(OutlineView outline, std::FILE* out, const std::string_view* script = nullptr);
JsonStatus write_json(OutlineView outline, int fd, const std::string_view* script = nullptr);
/// Appends one constraint tree's object to `out`.
JsonStatus write_json(ConstraintView constraint, std::string& out);

} // namespace brenk
