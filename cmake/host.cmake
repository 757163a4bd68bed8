# The host half: the read API (brenk::read), the embedding library (brenk::embed), brenk-eval,
# their tests and the CMake package that installs them. A wheel build (SKBUILD) skips all of it.
if(SKBUILD)
    return()
endif()

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The read API with the core inside, so that a host links one library and needs no core headers.
file(GLOB brenk_read_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/host/*.cpp)
add_library(brenk_read STATIC ${brenk_read_sources} $<TARGET_OBJECTS:brenk_core>)
add_library(brenk::read ALIAS brenk_read)
set_target_properties(brenk_read PROPERTIES EXPORT_NAME read OUTPUT_NAME brenk_read)
target_include_directories(brenk_read PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
                                             $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_include_directories(brenk_read PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(brenk_read PRIVATE $<BUILD_INTERFACE:brenk_warnings>)
set(brenk_installed_targets brenk_read)

if(BRENK_TESTS)
    add_executable(brenk_read_tests ${PROJECT_SOURCE_DIR}/tests/host/read_test.cpp)
    target_include_directories(brenk_read_tests PRIVATE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(brenk_read_tests PRIVATE brenk_read brenk_warnings GTest::gtest GTest::gtest_main)
endif()

set(brenk_embeddable OFF)
if(BRENK_PYTHON)
    find_package(Python ${Python_VERSION_MAJOR}.${Python_VERSION_MINOR} EXACT COMPONENTS Development.Embed)
    set(brenk_embeddable ${Python_Development.Embed_FOUND})
    # The module's objects are compiled for the interpreter's ABI; a debug interpreter needs its
    # debug libpython, which FindPython does not pick by itself.
    if(brenk_embeddable AND BRENK_EXPECT_PY_DEBUG AND NOT "${Python_LIBRARIES}" MATCHES "python[0-9.]+t?d[.]")
        set(brenk_embeddable OFF)
    endif()
    if(NOT brenk_embeddable)
        message(STATUS "brenk: no libpython to embed matching ${Python_EXECUTABLE}: brenk::embed and brenk-eval are not built")
    endif()
endif()
if(brenk_embeddable)
    # The module's own objects, so that an interpreter the host starts has brenk built in.
    file(GLOB brenk_embed_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/embed/*.cpp)
    add_library(brenk_embed STATIC ${brenk_embed_sources} $<TARGET_OBJECTS:brenk>)
    add_library(brenk::embed ALIAS brenk_embed)
    set_target_properties(brenk_embed PROPERTIES EXPORT_NAME embed OUTPUT_NAME brenk_embed
                                                 NO_SYSTEM_FROM_IMPORTED ON)
    target_include_directories(brenk_embed PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/src/python)
    target_link_libraries(brenk_embed PUBLIC brenk_read Python::Python PRIVATE $<BUILD_INTERFACE:brenk_warnings>)

    file(GLOB brenk_eval_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/eval/*.cpp)
    add_executable(brenk_eval ${brenk_eval_sources})
    set_target_properties(brenk_eval PROPERTIES OUTPUT_NAME brenk-eval EXPORT_NAME eval NO_SYSTEM_FROM_IMPORTED ON)
    target_include_directories(brenk_eval PRIVATE ${PROJECT_SOURCE_DIR}/src/python)
    target_link_libraries(brenk_eval PRIVATE brenk_embed brenk_warnings)
    list(APPEND brenk_installed_targets brenk_embed brenk_eval)

    # For make bench: the writer timed alone, beside the module (never installed).
    add_executable(brenk_json_bench ${PROJECT_SOURCE_DIR}/benchmarks/json_bench.cpp)
    set_target_properties(brenk_json_bench PROPERTIES NO_SYSTEM_FROM_IMPORTED ON)
    target_link_libraries(brenk_json_bench PRIVATE brenk_embed brenk_warnings)

    if(BRENK_TESTS)
        add_executable(brenk_embed_tests ${PROJECT_SOURCE_DIR}/tests/host/handles_test.cpp)
        set_target_properties(brenk_embed_tests PROPERTIES NO_SYSTEM_FROM_IMPORTED ON)
        target_include_directories(brenk_embed_tests PRIVATE ${PROJECT_SOURCE_DIR}/src/python)
        target_link_libraries(brenk_embed_tests PRIVATE brenk_embed brenk_warnings GTest::gtest)
    endif()
endif()

install(TARGETS ${brenk_installed_targets} EXPORT brenkTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/brenk DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
set(brenk_config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/brenk)
install(EXPORT brenkTargets NAMESPACE brenk:: DESTINATION ${brenk_config_dir})
set(BRENK_EMBED_PYTHON "")
if(TARGET brenk_embed)
    set(BRENK_EMBED_PYTHON "${Python_VERSION_MAJOR}.${Python_VERSION_MINOR}")
endif()
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/brenkConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/brenkConfig.cmake INSTALL_DESTINATION ${brenk_config_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/brenkConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/brenkConfig.cmake ${PROJECT_BINARY_DIR}/brenkConfigVersion.cmake
        DESTINATION ${brenk_config_dir})
