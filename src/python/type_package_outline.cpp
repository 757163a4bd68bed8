#include "type_package_outline.hpp"

#include <format>
#include <string>

#include "constraint_list.hpp"
#include "core/outline.hpp"
#include "dict_walk.hpp"
#include "log.hpp"
#include "messages.hpp"
#include "object.hpp"
#include "option_value_conversion.hpp"
#include "text.hpp"

namespace brenk::py {
namespace {

/// Opaque after construction: nothing reads the record but the deallocator.
using OutlineObject = Object<core::OutlineRecord>;

constexpr const char* parameters[] = {"name", "constraints", "set_options", "set_defaults"};
constexpr Signature signature{
    .full_name = "PackageOutline.__new__()", .names = parameters, .required = 1, .collects_extra = true};

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

/// Converts the bound arguments. Exact str keys of one dict have distinct texts, so only str
/// subclasses (whose equality may differ from their text's) can make two entries share a name:
/// the settings are told which keys are exact.
OutlineParts convert_parts(BoundArgs args)
{
    OutlineParts parts;
    parts.name = convert_argument("name", [&] { return text_of_str(args[0]); });
    if (args[1] != nullptr && args[1] != Py_None) {
        parts.constraints = convert_argument("constraints", [&] { return extract_constraint_list(args[1]); });
    }
    if (args[2] != nullptr && args[2] != Py_None) {
        convert_argument("set_options", [&] {
            require_dict(args[2]);
            walk_dict(args[2], parts.set_options, messages::at_outline, [&](PyObject* key, PyObject* value) {
                std::string name = text_of_str(key);
                parts.set_options.assign(std::move(name), extract_option_value(value), PyUnicode_CheckExact(key));
            });
            parts.set_options.finish();
        });
    }
    if (args[3] != nullptr && args[3] != Py_None) {
        convert_argument("set_defaults", [&] {
            require_dict(args[3]);
            walk_dict(args[3], parts.set_defaults, messages::at_outline, [&](PyObject* key, PyObject* value) {
                std::string name = text_of_str(key);
                std::optional<core::OptionValue> option;
                if (value != Py_None) option = extract_option_value(value);
                parts.set_defaults.assign(std::move(name), std::move(option), PyUnicode_CheckExact(key));
            });
            parts.set_defaults.finish();
        });
    }
    return parts;
}

[[noreturn]] void raise_extra_keyword(PyObject* keyword)
{
    raise_logged(outline_keyword_site, PyExc_ValueError, std::format(messages::outline_keyword, str_utf8(keyword)));
}

PyObject* construct(PyTypeObject* type, const Bound<4>& args)
{
    OutlineParts parts = convert_parts(args.args());
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
