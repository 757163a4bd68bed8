// glibc 2.26 added strfromf128, which the static C++ runtime's formatting code (std::format,
// std::to_chars) calls for 128-bit floats. The module never formats one, but that code comes
// along with std::format; older systems lack the function. This stand-in formats through long
// double, the widest type their printf knows: `format` is strfromf128's own
// "%[.precision]conversion", given the L length modifier.
#include <cstddef>
#include <cstdio>
#include <cstring>

extern "C" __attribute__((visibility("hidden"))) int strfromf128(char* out, std::size_t size, const char* format,
                                                                 _Float128 value)
{
    char wide[32];
    const std::size_t length = std::strlen(format);
    if (length < 2 || format[0] != '%' || length + 2 > sizeof wide) return -1;
    std::memcpy(wide, format, length - 1);
    wide[length - 1] = 'L';
    wide[length] = format[length - 1];
    wide[length + 1] = '\0';
    return std::snprintf(out, size, wide, static_cast<long double>(value));
}
