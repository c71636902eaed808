# quorvalis_add_test(<name> SOURCES <files...> LIBS <targets...> [ENVIRONMENT <VAR=value...>])
# One GoogleTest executable; every TEST becomes its own CTest case.
include(GoogleTest)
if(QUORVALIS_GTEST_SOURCES)
    # A cross build compiles GoogleTest from its sources (Debian's googletest package) for the
    # target, with the target's compiler and flags.
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory("${QUORVALIS_GTEST_SOURCES}" "${PROJECT_BINARY_DIR}/googletest"
                     EXCLUDE_FROM_ALL SYSTEM)
    foreach(library gtest gmock gtest_main gmock_main)
        if(NOT TARGET GTest::${library})
            add_library(GTest::${library} ALIAS ${library})
        endif()
    endforeach()
else()
    find_package(GTest REQUIRED)
endif()

function(quorvalis_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
                          quorvalis_options)
    target_compile_definitions(${name} PRIVATE
        QUORVALIS_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        QUORVALIS_BINARY_DIR="${PROJECT_BINARY_DIR}")
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ARG_ENVIRONMENT}")
endfunction()
