#include "comparison_slot.hpp"

#include <optional>
#include <string>

#include "constraint_conversion.hpp"
#include "constraint_object.hpp"
#include "core/comparison.hpp"

namespace brenk::py {

PyObject* constraint_richcompare(PyObject* self, PyObject* other, int op) noexcept
{
    return guard<PyObject*>(nullptr, [&]() -> PyObject* {
        if (!is_constraint_object(self)) Py_RETURN_NOTIMPLEMENTED;
        // Converting `other` runs Python code (ref.hpp's first rule): hold both operands.
        Ref held_self = Ref::borrow(self), held_other = Ref::borrow(other);
        ConstraintObject* obj = checked_constraint(self);
        // Held while the conversion runs Python code (and while a log write waits detached), so
        // a setter of self called meanwhile is refused instead of replacing the node read below.
        SharedBorrow borrow(obj->borrow);
        if (!borrow.held()) Py_RETURN_NOTIMPLEMENTED;
        std::optional<core::Constraint> rhs = try_extract_constraint(other);
        if (!rhs) Py_RETURN_NOTIMPLEMENTED;
        static constexpr core::CmpType by_opcode[] = {core::CmpType::Less,    core::CmpType::LessOrEqual,
                                                      core::CmpType::Equal,   core::CmpType::NotEqual,
                                                      core::CmpType::Greater, core::CmpType::GreaterOrEqual};
        if (op < 0 || op > 5) Py_RETURN_NOTIMPLEMENTED;
        auto cmp = core::check_comparison(obj->payload, std::move(*rhs), by_opcode[op]);
        if (!cmp) raise(PyExc_NotImplementedError, cmp.error());
        return constraint_to_object(std::move(*cmp));
    });
}

} // namespace brenk::py
