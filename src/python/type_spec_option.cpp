#include "type_spec_option.hpp"

#include "constraint_object.hpp"
#include "text.hpp"

namespace brenk::py {
namespace {

constexpr const char* parameters[] = {"package_name", "option_name"};
constexpr Signature signature{.full_name = "SpecOption.__new__()", .names = parameters, .required = 2};

core::Constraint build(BoundArgs args)
{
    std::string package_name = convert_argument("package_name", [&] { return text_of_str(args[0]); });
    std::string option_name = convert_argument("option_name", [&] { return text_of_str(args[1]); });
    return core::make_spec_option(package_name, option_name);
}

const core::SpecOptionNode& node(const core::Constraint& c)
{
    return c.as<core::SpecOptionNode>();
}

PyObject* get_package_name(PyObject* self, void*) noexcept
{
    return read_node(self,
                     [](const core::Constraint& c) { return check(utf8_to_str(node(c).package_name())).release(); });
}
PyObject* get_option_name(PyObject* self, void*) noexcept
{
    return read_node(self,
                     [](const core::Constraint& c) { return check(utf8_to_str(node(c).option_name())).release(); });
}
int set_package_name(PyObject* self, PyObject* value, void*) noexcept
{
    return write_node(self, value, "package_name", text_of_str, [](const core::Constraint& old, std::string name) {
        return core::make_spec_option(name, node(old).option_name());
    });
}
int set_option_name(PyObject* self, PyObject* value, void*) noexcept
{
    return write_node(self, value, "option_name", text_of_str, [](const core::Constraint& old, std::string name) {
        return core::make_spec_option(node(old).package_name(), name);
    });
}

PyGetSetDef getset[] = {
    {"package_name", get_package_name, set_package_name, nullptr, nullptr},
    {"option_name", get_option_name, set_option_name, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

} // namespace

PyObject* create_spec_option_class(const char* qualified_name)
{
    return create_constraint_class(qualified_name, "SpecOption(package_name, option_name)\n--\n\n", getset,
                                   constraint_constructor<signature, build>);
}

} // namespace brenk::py
