#include "dict_snapshot.hpp"

#include <cstddef>

namespace brenk::py {

std::vector<Ref> snapshot_dict(PyObject* dict, bool with_values)
{
    const std::size_t per_entry = with_values ? 2 : 1;
    std::vector<Ref> items;
    for (;;) {
        std::size_t wanted = 0;
        Py_BEGIN_CRITICAL_SECTION(dict);
        wanted = per_entry * static_cast<std::size_t>(PyDict_GET_SIZE(dict));
        if (wanted <= items.capacity()) {
            // Within the reserved room push_back cannot throw, so nothing leaves the section early.
            Py_ssize_t position = 0;
            PyObject *key = nullptr, *value = nullptr;
            while (PyDict_Next(dict, &position, &key, &value)) {
                items.push_back(Ref::borrow(key));
                if (with_values) items.push_back(Ref::borrow(value));
            }
            wanted = 0;
        }
        Py_END_CRITICAL_SECTION();
        if (wanted == 0) return items;
        items.reserve(wanted);
    }
}

} // namespace brenk::py
