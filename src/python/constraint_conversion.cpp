#include "constraint_conversion.hpp"

#include <format>
#include <string>

#include "constraint_object.hpp"
#include "log.hpp"
#include "option_value_conversion.hpp"

namespace brenk::py {
namespace {

/// The conversion without its failure report.
std::optional<core::Constraint> convert(PyObject* obj)
{
    if (is_constraint_object(obj)) {
        if (auto node = copy_payload<ConstraintObject, checked_constraint>(obj)) return node;
    }
    if (auto value = try_extract_option_value(obj)) return core::make_value(std::move(*value));
    return std::nullopt;
}

std::string failure_message(PyObject* obj)
{
    return std::format(messages::constraint_conversion, render_object(reinterpret_cast<PyObject*>(Py_TYPE(obj))));
}

} // namespace

core::Constraint extract_constraint(PyObject* obj)
{
    if (auto node = convert(obj)) return std::move(*node);
    raise_logged(constraint_conversion_site, PyExc_TypeError, failure_message(obj));
}

std::optional<core::Constraint> try_extract_constraint(PyObject* obj)
{
    if (auto node = convert(obj)) return node;
    // The message is only built when someone reads it: here, the log.
    if (log_enabled(constraint_conversion_site.level)) emit(constraint_conversion_site, failure_message(obj));
    return std::nullopt;
}

} // namespace brenk::py
