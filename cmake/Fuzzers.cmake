# libFuzzer targets for the readers of outside input; clang only.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ALMARIK_FUZZ needs clang (configure with -DCMAKE_CXX_COMPILER=clang++)")
endif()

# Coverage instrumentation and sanitizers for everything the fuzzers link.
target_compile_options(project_cfg INTERFACE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
target_link_options(project_cfg INTERFACE -fsanitize=address,undefined)

# almarik_add_fuzzer(<name> <source>...): a libFuzzer executable linking the program library.
function(almarik_add_fuzzer name)
    add_executable(${name} ${ARGN})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE project_cfg ka_store)
endfunction()
