# Compiler settings shared by every target, and the helpers that declare tests.

add_compile_options(-Wall -Wextra)
if(KAVREL_WERROR)
    add_compile_options(-Werror)
endif()
# GCC 12 reports std::string copies inlined at -O2 as overlapping memcpy calls (GCC bug
# 105329, a false positive); the check stays on for other compilers.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    add_compile_options(-Wno-restrict)
endif()

if(KAVREL_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "KAVREL_FUZZ needs clang (CC=clang CXX=clang++)")
    endif()
    # Everything is instrumented for coverage; only the fuzz targets link libFuzzer's main.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

if(KAVREL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# A shared object records only the libraries it calls into: a dependency named on the link
# line for nothing would still be loaded (and relocated, and mapped) with every process.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    add_link_options(LINKER:--as-needed)
endif()

# Everything but the documented exports stays hidden in our shared objects.
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
# A unique symbol (a static inside a standard-library template) would keep a shared object
# mapped after its last dlclose; the library must be unloadable by its host.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-fno-gnu-unique)
endif()
set(CMAKE_C_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)

# kavrel_add_test(<name> SOURCES <files...> [LIBS <targets...>] [ENV <VAR=value...>])
#
# One GoogleTest executable whose cases are registered with CTest one by one.
# Every case runs with its own empty state root, so no test sees another's registry,
# named objects or files, and in the C locale (read as en-US), so texts that follow the
# user's locale do not depend on the machine's LANG; a test that wants another sets its own.
function(kavrel_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;ENV" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} kvtest_support)
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        PROPERTIES ENVIRONMENT "KAVREL_TEST_ROOT_BASE=${CMAKE_BINARY_DIR}/test-roots;LC_ALL=C.UTF-8;${T_ENV}"
                   TIMEOUT 300)
endfunction()

# Makes `target` (a MODULE library) a component the layer serves as built-ins: after each
# build kavrel-reg reads the classes the module declares (DllGetClassDeclarations) and writes
# them as the module's registration file into kavrel-classes/ beside the layer.
function(kavrel_component_module target)
    set(folder ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/kavrel-classes)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND ${CMAKE_COMMAND} -E env KAVREL_ROOT=${CMAKE_BINARY_DIR}/kavrel-build-root
                ASAN_OPTIONS=detect_leaks=0
                $<TARGET_FILE:kavrel-reg> declarations $<TARGET_FILE:${target}>
                ${folder}/$<TARGET_FILE_NAME:${target}>.classes
        VERBATIM)
    add_dependencies(${target} kavrel-reg)
endfunction()
