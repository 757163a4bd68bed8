#pragma once
// A private copy of a dict's keys (and values), for walks that run Python code between entries.
#include <Python.h>

#include <vector>

#include "ref.hpp"

namespace brenk::py {

/// Strong references to the dict's keys in order, each followed by its value when
/// `with_values`, all read under the dict's critical section. A std::vector, not a list:
/// Python code cannot reach it (gc.get_referrers) to change it.
std::vector<Ref> snapshot_dict(PyObject* dict, bool with_values);

} // namespace brenk::py
