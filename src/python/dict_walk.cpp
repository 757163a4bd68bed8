#include "dict_walk.hpp"

namespace brenk::py {

DictSnapshot::DictSnapshot(PyObject* dict, bool with_values)
{
    const std::size_t per_entry = with_values ? 2 : 1;
    std::size_t capacity = inline_capacity;
    for (;;) {
        std::size_t wanted = 0;
        Py_BEGIN_CRITICAL_SECTION(dict);
        wanted = per_entry * static_cast<std::size_t>(PyDict_GET_SIZE(dict));
        if (wanted <= capacity) {
            // Nothing here can throw or run Python code, so nothing leaves the section early.
            Py_ssize_t position = 0;
            PyObject *key = nullptr, *value = nullptr;
            while (PyDict_Next(dict, &position, &key, &value)) {
                data_[size_++] = Ref::borrow(key);
                if (with_values) data_[size_++] = Ref::borrow(value);
            }
            wanted = 0;
        }
        Py_END_CRITICAL_SECTION();
        if (wanted == 0) return;
        // The dict grew past the room we have (or is large): allocate outside the section, retry.
        heap_ = std::make_unique<Ref[]>(wanted);
        data_ = heap_.get();
        capacity = wanted;
    }
}

WalkStep walk_step(PyObject* dict, const DictSnapshot& keys, std::size_t index, Py_ssize_t& position, Ref& value)
{
    WalkStep step = WalkStep::KeysChanged;
    Py_BEGIN_CRITICAL_SECTION(dict);
    PyObject* key = nullptr;
    PyObject* found = nullptr;
    if (static_cast<std::size_t>(PyDict_GET_SIZE(dict)) != keys.size()) {
        step = WalkStep::SizeChanged;
    }
    else if (index < keys.size()) {
        if (PyDict_Next(dict, &position, &key, &found) && key == keys[index]) {
            value = Ref::borrow(found);
            step = WalkStep::Entry;
        }
    }
    else {
        Py_ssize_t from_start = 0;
        std::size_t same = 0;
        while (same < keys.size() && PyDict_Next(dict, &from_start, &key, nullptr) && key == keys[same]) ++same;
        if (same == keys.size()) step = WalkStep::End;
    }
    Py_END_CRITICAL_SECTION();
    return step;
}

} // namespace brenk::py
