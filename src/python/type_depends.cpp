#include "type_depends.hpp"

#include "constraint_object.hpp"
#include "text.hpp"

namespace brenk::py {
namespace {

constexpr const char* parameters[] = {"name"};
constexpr Signature signature{.full_name = "Depends.__new__()", .names = parameters, .required = 1};

core::Constraint build(BoundArgs args)
{
    return core::make_depends(convert_argument("name", [&] { return text_of_str(args[0]); }));
}

PyObject* get_on(PyObject* self, void*) noexcept
{
    return read_node(
        self, [](const core::Constraint& c) { return check(utf8_to_str(c.as<core::DependsNode>().on())).release(); });
}
int set_on(PyObject* self, PyObject* value, void*) noexcept
{
    return write_node(self, value, "on", text_of_str,
                      [](const core::Constraint&, std::string on) { return core::make_depends(std::move(on)); });
}

PyGetSetDef getset[] = {
    {"on", get_on, set_on, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

} // namespace

PyObject* create_depends_class(const char* qualified_name)
{
    return create_constraint_class(qualified_name, "Depends(name)\n--\n\n", getset,
                                   constraint_constructor<signature, build>);
}

} // namespace brenk::py
