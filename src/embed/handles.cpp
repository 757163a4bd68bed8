// Read handles for the module's objects, and brenk as a built-in module.
#include "brenk/embed.hpp"

#include "classes.hpp"
#include "constraint_object.hpp"
#include "core/outline.hpp"
#include "host/access.hpp"
#include "object.hpp"

PyMODINIT_FUNC PyInit_brenk(void);

namespace brenk::embed {
namespace {

using detail::Access;

bool of_class(PyObject* obj, py::ClassId id) noexcept
{
    const PyTypeObject* type = py::created_class_type(id);
    return type != nullptr && Py_TYPE(obj) == type;
}

template <class T> Handle<T> refused(Refusal why) noexcept
{
    return Handle<T>{std::nullopt, why};
}

} // namespace

bool register_module() noexcept
{
    return PyImport_AppendInittab("brenk", &PyInit_brenk) == 0;
}

const char* describe(Refusal refusal) noexcept
{
    switch (refusal) {
    case Refusal::none:
        return "not refused";
    case Refusal::wrong_class:
        return "not an object of the brenk class asked for (subclasses are refused)";
    case Refusal::not_constructed:
        return "the object was made without its constructor and holds nothing";
    case Refusal::busy:
        return "a property write of the object is under way";
    case Refusal::wrong_thread:
        return "an IfThen object is read only on the thread that created it";
    }
    return "refused";
}

Handle<OutlineView> outline(PyObject* obj) noexcept
{
    using OutlineObject = py::Object<core::OutlineRecord>;
    if (obj == nullptr || !of_class(obj, py::ClassId::PackageOutline))
        return refused<OutlineView>(Refusal::wrong_class);
    const auto* object = reinterpret_cast<const OutlineObject*>(obj);
    if (!object->constructed) return refused<OutlineView>(Refusal::not_constructed);
    // Nothing ever writes an outline's record, so no borrow is taken.
    return {Access::outline(object->payload), Refusal::none};
}

Handle<SharedConstraint> constraint(PyObject* obj) noexcept
{
    if (obj == nullptr || !py::is_constraint_object(obj)) return refused<SharedConstraint>(Refusal::wrong_class);
    py::ConstraintObject* object = py::as_constraint(obj);
    if (!object->constructed) return refused<SharedConstraint>(Refusal::not_constructed);
    if (!of_class(obj, py::class_of(object->payload.kind()))) return refused<SharedConstraint>(Refusal::wrong_class);
    const py::ClassHooks* hooks = py::hooks_of(object->payload.kind());
    if (hooks != nullptr && hooks->may_use != nullptr && !hooks->may_use(obj))
        return refused<SharedConstraint>(Refusal::wrong_thread);
    py::SharedBorrow borrow(object->borrow);
    if (!borrow.held()) return refused<SharedConstraint>(Refusal::busy);
    return {Access::share(object->payload), Refusal::none};
}

Handle<SharedVersion> version(PyObject* obj) noexcept
{
    using VersionObject = py::Object<core::Version>;
    if (obj == nullptr || !of_class(obj, py::ClassId::Version)) return refused<SharedVersion>(Refusal::wrong_class);
    auto* object = reinterpret_cast<VersionObject*>(obj);
    if (!object->constructed) return refused<SharedVersion>(Refusal::not_constructed);
    py::SharedBorrow borrow(object->borrow);
    if (!borrow.held()) return refused<SharedVersion>(Refusal::busy);
    return {Access::share(object->payload), Refusal::none};
}

} // namespace brenk::embed
