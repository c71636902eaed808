# quorvalis_add_fuzz_target(<name> SOURCE <file> LIBS <targets...>)
#
# <file> defines LLVMFuzzerTestOneInput. With QUORVALIS_FUZZ (clang) it becomes a libFuzzer binary
# <name>; with the tests on, the same entry point is linked into <name>_corpus, which CTest runs
# over every file of fuzz/corpus/<name>/ as an ordinary test.
function(quorvalis_add_fuzz_target name)
    cmake_parse_arguments(ARG "" "SOURCE" "LIBS" ${ARGN})
    set(source "${CMAKE_CURRENT_SOURCE_DIR}/${ARG_SOURCE}")
    if(NOT EXISTS "${source}")
        return()
    endif()
    set(corpus "${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name}")
    if(QUORVALIS_FUZZ)
        add_executable(${name} ${source})
        target_link_libraries(${name} PRIVATE ${ARG_LIBS} quorvalis_options)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    endif()
    if(QUORVALIS_BUILD_TESTS)
        add_executable(${name}_corpus ${source} "${CMAKE_CURRENT_SOURCE_DIR}/CorpusRunner.cpp")
        target_link_libraries(${name}_corpus PRIVATE ${ARG_LIBS} quorvalis_options)
        add_test(NAME ${name}_corpus COMMAND ${name}_corpus "${corpus}")
    endif()
endfunction()
