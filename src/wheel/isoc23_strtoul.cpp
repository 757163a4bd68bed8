// glibc 2.38 gave C23 callers their own strtoul, __isoc23_strtoul, which also reads a 0b or 0B
// prefix as binary when the base is 0 or 2. The static C++ runtime calls it (with base 0, for
// the tunables it reads from the environment); older systems have only the C17 function, which
// this forwards to after handling that prefix.
#include <cctype>
#include <cerrno>
#include <climits>

// strtoul under its own name: <cstdlib> would map the name strtoul to __isoc23_strtoul.
extern "C" unsigned long brenk_c17_strtoul(const char* text, char** end, int base) __asm__("strtoul");

extern "C" unsigned long __isoc23_strtoul(const char* text, char** end, int base)
{
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    const bool binary =
        (base == 0 || base == 2) && p[0] == '0' && (p[1] == 'b' || p[1] == 'B') && (p[2] == '0' || p[2] == '1');
    if (!binary) return brenk_c17_strtoul(text, end, base);
    // The digits after the prefix start with a digit, so C17 strtoul reads exactly them; the sign
    // applies as for any base, and an overflow stays ULONG_MAX.
    const int saved = errno;
    errno = 0;
    const unsigned long value = brenk_c17_strtoul(p + 2, end, 2);
    if (errno == ERANGE) return ULONG_MAX;
    errno = saved;
    return negative ? 0 - value : value;
}
