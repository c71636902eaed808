# quorvalis_add_test(<name> SOURCES <files...> LIBS <targets...> [ENVIRONMENT <VAR=value...>])
# One GoogleTest executable; every TEST becomes its own CTest case.
include(GoogleTest)
find_package(GTest REQUIRED)

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
