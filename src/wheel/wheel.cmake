# The module of a wheel (BRENK_WHEEL, set by pyproject.toml) must run on Linux systems older than
# the one it is built on. The C++ runtime is linked in statically and kept private to the module
# (--exclude-libs: its symbols cannot clash with another extension's runtime); libgcc_s stays
# shared, as every system has it. The static runtime was built against the build machine's glibc
# and needs some of its newer symbols: the files beside this one stand in for those, each saying
# why. --gc-sections drops the runtime's code that the module never calls, and with it more such
# symbols (getentropy).
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_LINK_OPTIONS -static-libstdc++)
check_cxx_source_compiles("#include <string>\nint main() { return std::string(\"x\").size() == 1 ? 0 : 1; }"
    BRENK_HAVE_STATIC_LIBSTDCXX)
unset(CMAKE_REQUIRED_LINK_OPTIONS)
if(BRENK_HAVE_STATIC_LIBSTDCXX)
    file(GLOB brenk_wheel_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
    target_sources(brenk PRIVATE ${brenk_wheel_sources})
    target_link_options(brenk PRIVATE -static-libstdc++ -Wl,--exclude-libs,ALL -Wl,--gc-sections)
else()
    # Some distributions ship libstdc++.a separately (libstdc++-static): a local install still
    # works with the shared runtime, but such a module is no portable wheel.
    message(WARNING "no static libstdc++: the module links the shared C++ runtime and only runs on systems like this one")
endif()
