#include "type_package_outline.hpp"

#include <string>

#include "constraint_object.hpp"
#include "core/outline.hpp"
#include "dict_walk.hpp"
#include "log.hpp"
#include "messages.hpp"
#include "option_value_conversion.hpp"
#include "text.hpp"

namespace brenk::py {
namespace {

/// Opaque after construction: nothing reads the record but the deallocator.
using OutlineObject = Object<core::OutlineRecord>;

constexpr const char* parameters[] = {"name", "constraints", "set_options", "set_defaults"};
constexpr Signature signature{"PackageOutline.__new__()", parameters, 4, 1, true};

// Exact str keys of one dict have distinct texts, so only str subclasses (whose equality
// may differ from their text's) can make two entries share a name.

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
            walk_dict(args[2], record.set_options, messages::at_outline, [&](PyObject* key, PyObject* value) {
                std::string name = key_text(key);
                record.set_options.assign(std::move(name), extract_option_value(value), PyUnicode_CheckExact(key));
            });
            record.set_options.finish();
        });
    }
    if (args[3] != nullptr && args[3] != Py_None) {
        convert_argument("set_defaults", [&] {
            require_dict(args[3]);
            walk_dict(args[3], record.set_defaults, messages::at_outline, [&](PyObject* key, PyObject* value) {
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
    return allocate_object<OutlineObject>(type, std::move(record));
}

} // namespace

PyObject* create_package_outline_class(const char* qualified_name)
{
    return create_class(
        qualified_name,
        {sizeof(OutlineObject), dealloc_object<OutlineObject>,
         "PackageOutline(name, constraints=None, set_options=None, set_defaults=None, **kwargs)\n--\n\n",
         &constructor<signature, construct>});
}

} // namespace brenk::py
