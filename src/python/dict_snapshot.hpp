#pragma once
// A private copy of a dict's keys (and values), for walks that run Python code between entries.
#include <Python.h>

#include <cstddef>
#include <memory>

#include "ref.hpp"

namespace brenk::py {

/// Strong references to a dict's keys in order, each followed by its value when `with_values`,
/// all read under the dict's critical section. Private memory, not a list: Python code cannot
/// reach it (gc.get_referrers) to change it. The references of a small dict stay inline, so
/// taking a snapshot costs no allocation in the common case.
class DictSnapshot {
public:
    DictSnapshot(PyObject* dict, bool with_values);
    ~DictSnapshot();
    DictSnapshot(const DictSnapshot&) = delete;
    DictSnapshot& operator=(const DictSnapshot&) = delete;

    std::size_t size() const noexcept { return size_; }
    /// Borrowed: the snapshot holds it until it is destroyed.
    PyObject* operator[](std::size_t i) const noexcept { return data_[i]; }

private:
    static constexpr std::size_t inline_capacity = 16;
    PyObject* inline_[inline_capacity];
    std::unique_ptr<PyObject*[]> heap_;
    PyObject** data_ = inline_;
    std::size_t size_ = 0;
};

} // namespace brenk::py
