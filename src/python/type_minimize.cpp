#include "type_minimize.hpp"

#include "objective.hpp"

namespace brenk::py {
namespace {

constexpr Signature signature{"Minimize.__new__()", objective_parameters, 1, 1, false};

} // namespace

PyObject* create_minimize_class(const char* qualified_name)
{
    return create_objective_class<signature, core::make_minimize>(qualified_name, "Minimize(item)\n--\n\n");
}

} // namespace brenk::py
