// Version: a parsed version text with repr() and str(); nothing else.
#include "args.hpp"

#include "classes.hpp"
#include "text.hpp"
#include "type_version.hpp"
#include <new>

namespace brenk::py {
namespace {

constexpr const char* parameters[] = {"ver"};
constexpr Signature signature{"Version.__new__()", parameters, 1, 1, false};

PyObject* allocate(PyTypeObject* type, core::Version value)
{
    PyObject* obj = type->tp_alloc(type, 0);
    if (obj == nullptr) throw_error_set();
    auto* v = reinterpret_cast<VersionObject*>(obj);
    new (&v->borrow) BorrowFlag();
    new (&v->value) core::Version(std::move(value));
    v->constructed = true;
    return obj;
}

PyObject* construct(PyTypeObject* type, PyObject* ver)
{
    const std::string_view text = convert_argument("ver", [&] {
        if (!PyUnicode_Check(ver)) raise_cast_error(ver, "str");
        return str_utf8(ver);
    });
    core::VersionError error;
    std::optional<core::Version> parsed = core::parse_version(text, error);
    if (!parsed) raise(PyExc_ValueError, error.render());
    return allocate(type, std::move(*parsed));
}

PyObject* vectorcall(PyObject* type, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) noexcept
{
    return guard<PyObject*>(nullptr, [&]() -> PyObject* {
        Bound<1> bound;
        bound.bind(signature, args, nargsf, kwnames);
        return construct(reinterpret_cast<PyTypeObject*>(type), bound[0]);
    });
}

PyObject* tp_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept
{
    return guard<PyObject*>(nullptr, [&]() -> PyObject* {
        Bound<1> bound;
        bound.bind(signature, args, kwargs);
        return construct(type, bound[0]);
    });
}

VersionObject* checked_version(PyObject* self)
{
    auto* obj = reinterpret_cast<VersionObject*>(self);
    if (!obj->constructed) raise_not_constructed(self);
    return obj;
}

template <class F> PyObject* with_value(PyObject* self, F&& f) noexcept
{
    return guard<PyObject*>(nullptr, [&]() -> PyObject* {
        VersionObject* obj = checked_version(self);
        SharedBorrow borrow(obj->borrow);
        borrow.require();
        return f(obj->value);
    });
}

PyObject* repr(PyObject* self) noexcept
{
    return with_value(self, [](const core::Version& v) { return check(ascii_to_str(v.debug())).release(); });
}

PyObject* str(PyObject* self) noexcept
{
    return with_value(self, [](const core::Version& v) { return check(ascii_to_str(v.text())).release(); });
}

void dealloc(PyObject* self) noexcept
{
    PyTypeObject* type = Py_TYPE(self);
    auto* obj = reinterpret_cast<VersionObject*>(self);
    if (obj->constructed) obj->value.~Version();
    type->tp_free(self);
    Py_DECREF(type);
}

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(&dealloc)},
    {Py_tp_new, reinterpret_cast<void*>(&tp_new)},
    {Py_tp_repr, reinterpret_cast<void*>(&repr)},
    {Py_tp_str, reinterpret_cast<void*>(&str)},
    {Py_tp_doc, const_cast<char*>("Version(ver)\n--\n\nA generic version.\n\nSee the documentation for this module "
                                  "for more information.")},
    {0, nullptr},
};

} // namespace

PyObject* create_version_class(const char* qualified_name)
{
    return create_class(qualified_name, sizeof(VersionObject), slots, false, vectorcall);
}

bool is_version_object(PyObject* obj) noexcept
{
    return Py_TYPE(obj)->tp_dealloc == dealloc;
}

std::optional<core::Version> read_version(PyObject* obj)
{
    if (!is_version_object(obj)) return std::nullopt;
    VersionObject* v = checked_version(obj);
    SharedBorrow borrow(v->borrow);
    if (!borrow.held()) return std::nullopt;
    return v->value;
}

PyObject* new_version_object(core::Version value)
{
    return allocate(class_type(ClassId::Version), std::move(value));
}

} // namespace brenk::py
