#include "type_num_of.hpp"

#include "constraint_list.hpp"
#include "constraint_object.hpp"

namespace brenk::py {
namespace {

constexpr const char* parameters[] = {"of"};
constexpr Signature signature{.full_name = "NumOf.__new__()", .names = parameters, .required = 1};

core::Constraint build(BoundArgs args)
{
    return core::make_num_of(convert_argument("of", [&] { return extract_constraint_list(args[0]); }));
}

PyObject* get_of(PyObject* self, void*) noexcept
{
    return read_node(self,
                     [](const core::Constraint& c) { return constraint_list_to_object(c.as<core::NumOfNode>().of()); });
}
int set_of(PyObject* self, PyObject* value, void*) noexcept
{
    return write_node(
        self, value, "of", extract_constraint_list,
        [](const core::Constraint&, std::vector<core::Constraint> of) { return core::make_num_of(std::move(of)); });
}

PyGetSetDef getset[] = {
    {"of", get_of, set_of, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

} // namespace

PyObject* create_num_of_class(const char* qualified_name)
{
    return create_constraint_class(qualified_name, "NumOf(of)\n--\n\n", getset,
                                   constraint_constructor<signature, build>);
}

} // namespace brenk::py
