#pragma once
// The text rendering of constraint trees.
#include <string>

#include "constraint.hpp"
#include "sink.hpp"

namespace brenk::core {

/// Writes the text rendering of `c` into `sink`; stops at and returns the sink's failure.
bool constraint_text(const Constraint& c, Sink& sink);
/// The whole rendering as a string.
std::string constraint_string(const Constraint& c);

} // namespace brenk::core
