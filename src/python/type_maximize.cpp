#include "type_maximize.hpp"

#include "objective.hpp"

namespace brenk::py {
namespace {

constexpr Signature signature{"Maximize.__new__()", objective_parameters, 1, 1, false};

} // namespace

PyObject* create_maximize_class(const char* qualified_name)
{
    return create_objective_class<signature, core::make_maximize>(qualified_name, "Maximize(item)\n--\n\n");
}

} // namespace brenk::py
