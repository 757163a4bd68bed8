#pragma once
// Walking a dict while Python code may change it between entries: a private copy of its keys
// (and values), and a walk that follows that copy and stops at any change of the keys.
#include <Python.h>

#include <cstddef>
#include <memory>

#include "errors.hpp"
#include "messages.hpp"
#include "ref.hpp"

namespace brenk::py {

/// Strong references to a dict's keys in order, each followed by its value when `with_values`,
/// all read under the dict's critical section. Private memory, not a list: Python code cannot
/// reach it (gc.get_referrers) to change it. The references of a small dict stay inline, so
/// taking a snapshot costs no allocation in the common case.
class DictSnapshot {
public:
    DictSnapshot(PyObject* dict, bool with_values);
    DictSnapshot(const DictSnapshot&) = delete;
    DictSnapshot& operator=(const DictSnapshot&) = delete;

    std::size_t size() const noexcept { return size_; }
    /// Borrowed: the snapshot holds it until it is destroyed.
    PyObject* operator[](std::size_t i) const noexcept { return data_[i].get(); }

private:
    static constexpr std::size_t inline_capacity = 16;
    Ref inline_[inline_capacity];
    std::unique_ptr<Ref[]> heap_;
    Ref* data_ = inline_;
    std::size_t size_ = 0;
};

enum class WalkStep { Entry, End, SizeChanged, KeysChanged };

/// One step of walk_dict under the dict's critical section: the value of keys[index], which must
/// be the entry after `position` at the walk's starting size; past the last key, a check that
/// the dict holds exactly `keys`, in order.
WalkStep walk_step(PyObject* dict, const DictSnapshot& keys, std::size_t index, Py_ssize_t& position, Ref& value);

/// Walks a dict one entry at a time, each read under the dict's own critical section, with the
/// conversion of the entry done outside it, where Python code may change the dict. The walk
/// follows a snapshot of the keys, taken first: each step must read exactly the snapshot's next
/// key (by identity; the snapshot holds the keys, so no address is reused) at the snapshot's
/// size, and after the last key the dict must hold exactly the snapshot's keys. So a walk never
/// skips or repeats a key, whatever the table layout: any change of the keys ends it with an
/// internal failure raised at `at`. A value replaced under an existing key is not a change;
/// each value is read when the walk reaches its key.
template <class Map, class F> void walk_dict(PyObject* dict, Map& map, const char* at, F&& visit)
{
    const DictSnapshot keys(dict, false);
    map.reserve(keys.size());
    Py_ssize_t position = 0;
    for (std::size_t index = 0;; ++index) {
        Ref value;
        switch (walk_step(dict, keys, index, position, value)) {
        case WalkStep::Entry:
            visit(keys[index], value.get());
            break;
        case WalkStep::End:
            return;
        case WalkStep::SizeChanged:
            panic(messages::dict_changed_size, at);
        case WalkStep::KeysChanged:
            panic(messages::dict_keys_changed, at);
        }
    }
}

} // namespace brenk::py
