// PackageOutline: a package's name, constraints and option settings, validated at
// construction and opaque afterwards.
#include "args.hpp"

#include <new>
#include <string>

#include "borrow.hpp"
#include "classes.hpp"
#include "constraint_object.hpp"
#include "core/outline.hpp"
#include "dict_snapshot.hpp"
#include "log.hpp"
#include "messages.hpp"
#include "option_value_conversion.hpp"
#include "text.hpp"

namespace brenk::py {
namespace {

/// `record` is built (and `constructed` set) by the constructor; an object made without it has
/// neither. Nothing reads an outline after construction but the deallocator, so it needs no
/// borrow flag.
struct OutlineObject {
    PyObject_HEAD bool constructed;
    core::OutlineRecord record;
};

constexpr const char* parameters[] = {"name", "constraints", "set_options", "set_defaults"};
constexpr Signature signature{"PackageOutline.__new__()", parameters, 4, 1, true};

// Exact str keys of one dict have distinct texts, so only str subclasses (whose equality
// may differ from their text's) can make two entries share a name.

enum class WalkStep { Entry, End, SizeChanged, KeysChanged };

/// One step of walk_dict under the dict's critical section: the value of keys[index], which must
/// be the entry after `position` at the walk's starting size; past the last key, a check that
/// the dict holds exactly `keys`, in order.
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

/// Walks a dict one entry at a time, each read under the dict's own critical section, with the
/// conversion of the entry done outside it, where Python code may change the dict. The walk
/// follows a snapshot of the keys, taken first: each step must read exactly the snapshot's next
/// key (by identity; the snapshot holds the keys, so no address is reused) at the snapshot's
/// size, and after the last key the dict must hold exactly the snapshot's keys. So a walk never
/// skips or repeats a key, whatever the table layout: any change of the keys ends it with an
/// internal failure. A value replaced under an existing key is not a change; each value is
/// read when the walk reaches its key.
template <class Map, class F> void walk_dict(PyObject* dict, Map& map, F&& visit)
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
            panic(messages::dict_changed_size, messages::at_outline);
        case WalkStep::KeysChanged:
            panic(messages::dict_keys_changed, messages::at_outline);
        }
    }
}

std::string key_text(PyObject* key)
{
    if (!PyUnicode_Check(key)) raise_cast_error(key, "str");
    return std::string(str_utf8(key));
}

void require_dict(PyObject* obj)
{
    if (!PyDict_Check(obj)) raise_cast_error(obj, "dict");
}

/// The arguments of an outline, converted, before they are packed into its record.
struct OutlineParts {
    std::string name;
    std::vector<core::Constraint> constraints;
    core::OptionSettings set_options;
    core::OptionDefaults set_defaults;
};

OutlineParts build_record(PyObject* const* args)
{
    OutlineParts record;
    record.name = convert_argument("name", [&] { return text_argument(args[0]); });
    if (args[1] != nullptr && args[1] != Py_None) {
        record.constraints = convert_argument("constraints", [&] { return extract_constraint_list(args[1]); });
    }
    if (args[2] != nullptr && args[2] != Py_None) {
        convert_argument("set_options", [&] {
            require_dict(args[2]);
            walk_dict(args[2], record.set_options, [&](PyObject* key, PyObject* value) {
                std::string name = key_text(key);
                record.set_options.assign(std::move(name), extract_option_value(value), PyUnicode_CheckExact(key));
            });
            record.set_options.finish();
        });
    }
    if (args[3] != nullptr && args[3] != Py_None) {
        convert_argument("set_defaults", [&] {
            require_dict(args[3]);
            walk_dict(args[3], record.set_defaults, [&](PyObject* key, PyObject* value) {
                std::string name = key_text(key);
                std::optional<core::OptionValue> option;
                if (value != Py_None) option = extract_option_value(value);
                record.set_defaults.assign(std::move(name), std::move(option), PyUnicode_CheckExact(key));
            });
            record.set_defaults.finish();
        });
    }
    return record;
}

[[noreturn]] void raise_extra_keyword(PyObject* keyword)
{
    const std::string message = messages::outline_keyword_head + std::string(str_utf8(keyword)) + "'";
    emit(outline_keyword_site, message);
    raise(PyExc_ValueError, message);
}

PyObject* construct(PyTypeObject* type, const Bound<4>& args)
{
    OutlineParts parts = build_record(args.data());
    if (PyObject* extra = args.extra_keyword()) raise_extra_keyword(extra);
    core::OutlineRecord record(parts.name, std::move(parts.constraints), parts.set_options, parts.set_defaults);
    PyObject* obj = type->tp_alloc(type, 0);
    if (obj == nullptr) throw_error_set();
    auto* outline = reinterpret_cast<OutlineObject*>(obj);
    new (&outline->record) core::OutlineRecord(std::move(record));
    outline->constructed = true;
    return obj;
}

PyObject* vectorcall(PyObject* type, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) noexcept
{
    return guard<PyObject*>(nullptr, [&]() -> PyObject* {
        Bound<4> bound;
        bound.bind(signature, args, nargsf, kwnames);
        return construct(reinterpret_cast<PyTypeObject*>(type), bound);
    });
}

PyObject* tp_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept
{
    return guard<PyObject*>(nullptr, [&]() -> PyObject* {
        Bound<4> bound;
        bound.bind(signature, args, kwargs);
        return construct(type, bound);
    });
}

void dealloc(PyObject* self) noexcept
{
    PyTypeObject* type = Py_TYPE(self);
    auto* outline = reinterpret_cast<OutlineObject*>(self);
    if (outline->constructed) outline->record.~OutlineRecord();
    type->tp_free(self);
    Py_DECREF(type);
}

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(&dealloc)},
    {Py_tp_new, reinterpret_cast<void*>(&tp_new)},
    {Py_tp_doc, const_cast<char*>(
                    "PackageOutline(name, constraints=None, set_options=None, set_defaults=None, **kwargs)\n--\n\n")},
    {0, nullptr},
};

} // namespace

PyObject* create_package_outline_class(const char* qualified_name)
{
    return create_class(qualified_name, sizeof(OutlineObject), slots, false, vectorcall);
}

} // namespace brenk::py
