#include "type_version.hpp"

#include "classes.hpp"
#include "object.hpp"
#include "text.hpp"

namespace brenk::py {
namespace {

/// The parsed value, never changed after construction. Reads take a shared borrow; nothing
/// ever takes the exclusive one.
using VersionObject = Object<core::Version>;

constexpr const char* parameters[] = {"ver"};
constexpr Signature signature{.full_name = "Version.__new__()", .names = parameters, .required = 1};

PyObject* construct(PyTypeObject* type, const Bound<1>& args)
{
    PyObject* ver = args[0];
    const std::string_view text = convert_argument("ver", [&] {
        if (!PyUnicode_Check(ver)) raise_cast_error(ver, "str");
        return str_utf8(ver);
    });
    auto parsed = core::parse_version(text);
    if (!parsed) raise(PyExc_ValueError, parsed.error().render());
    return allocate_object<VersionObject>(type, std::move(*parsed));
}

PyObject* repr(PyObject* self) noexcept
{
    return read_payload<VersionObject>(self,
                                       [](const core::Version& v) { return check(ascii_to_str(v.debug())).release(); });
}

PyObject* str(PyObject* self) noexcept
{
    return read_payload<VersionObject>(self,
                                       [](const core::Version& v) { return check(ascii_to_str(v.text())).release(); });
}

constexpr destructor dealloc = &dealloc_object<VersionObject>;

const PyType_Slot slots[] = {
    {Py_tp_repr, reinterpret_cast<void*>(&repr)},
    {Py_tp_str, reinterpret_cast<void*>(&str)},
};

} // namespace

PyObject* create_version_class(const char* qualified_name)
{
    return create_class(qualified_name,
                        {sizeof(VersionObject), dealloc,
                         "Version(ver)\n--\n\nA generic version.\n\nSee the documentation for this module for more "
                         "information.",
                         &constructor<signature, construct>, slots});
}

bool is_version_object(PyObject* obj) noexcept
{
    return Py_TYPE(obj)->tp_dealloc == dealloc;
}

std::optional<core::Version> read_version(PyObject* obj)
{
    if (!is_version_object(obj)) return std::nullopt;
    return copy_payload<VersionObject>(obj);
}

PyObject* new_version_object(core::Version value)
{
    return allocate_object<VersionObject>(class_type(ClassId::Version), std::move(value));
}

} // namespace brenk::py
