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

# A shared object's calls to its own exported functions (the layer calls its own API, and a
# module its own instances of standard templates, which keep default visibility) are bound
# when it is linked, not looked up by name through every loaded library in each process that
# loads it. Nothing here replaces a library's function from outside; data stays
# interposable, so a standard template's static object is still one per process.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(CMAKE_SHARED_LINKER_FLAGS "${CMAKE_SHARED_LINKER_FLAGS} -Wl,-Bsymbolic-functions")
    set(CMAKE_MODULE_LINKER_FLAGS "${CMAKE_MODULE_LINKER_FLAGS} -Wl,-Bsymbolic-functions")
endif()

# Relative relocations (two thirds of a shared object's) packed as a bitmap (DT_RELR) where
# the linker and the C library know them: the loader reads 0.5 KB instead of 27 KB for the
# layer, and the pages holding them are not faulted in at every start.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    include(CheckLinkerFlag)
    check_linker_flag(CXX "LINKER:-z,pack-relative-relocs" KAVREL_LINKER_PACKS_RELOCS)
    if(KAVREL_LINKER_PACKS_RELOCS)
        add_link_options(LINKER:-z,pack-relative-relocs)
    endif()
    # lld, where it is installed, places the load code together (kavrel_place_load_code).
    # The newest one found is used: lld 15 and later also pack the relative relocations of
    # what it links. The compiler driver takes it from the folder its real file lies in
    # (`-B`), where it is named plainly `ld.lld`.
    find_program(KAVREL_LLD NAMES ld.lld-19 ld.lld-18 ld.lld-17 ld.lld-16 ld.lld-15 ld.lld)
    set(KAVREL_LLD_OPTIONS -fuse-ld=lld)
    if(KAVREL_LLD)
        file(REAL_PATH ${KAVREL_LLD} lld_file)
        get_filename_component(lld_folder ${lld_file} DIRECTORY)
        if(EXISTS ${lld_folder}/ld.lld)
            set(KAVREL_LLD_OPTIONS -B${lld_folder} -fuse-ld=lld)
        endif()
    endif()
    check_linker_flag(CXX "${KAVREL_LLD_OPTIONS};LINKER:--symbol-ordering-file=/dev/null"
                      KAVREL_LINKER_LLD)
    check_linker_flag(CXX "${KAVREL_LLD_OPTIONS};LINKER:-z,pack-relative-relocs;LINKER:--fatal-warnings"
                      KAVREL_LLD_PACKS_RELOCS)
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

# kavrel_place_load_code(<target> <list> [OBJECTS <object libraries...>])
#
# Places the code that runs when a process loads the library and ends together in `target`'s
# text. The kernel maps a file's pages 64 KiB at a time around each first touch, so load code
# scattered over the text makes most of it resident in every process that loads the library.
# `list` names those functions, one symbol a line (`#` starts a comment; scripts/load-order.sh
# writes it). `target` and the OBJECTS libraries it links are compiled with a section per
# function and per object, and `target` is linked by lld, which lays the sections of the
# listed symbols out first, in the list's order (GNU ld 2.40 has no such option). A stale
# list costs memory and nothing else: names that no longer exist are skipped, and code the
# list misses stays where the link puts it. Without lld, or off ELF, the target is linked as
# any other.
function(kavrel_place_load_code target list)
    cmake_parse_arguments(P "" "" "OBJECTS" ${ARGN})
    if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang"
       OR NOT KAVREL_LINKER_LLD)
        return()
    endif()
    foreach(compiled ${target} ${P_OBJECTS})
        target_compile_options(${compiled} PRIVATE -ffunction-sections -fdata-sections)
    endforeach()
    file(STRINGS ${list} symbols REGEX "^[^#]")
    # The C runtime's start and end of a shared object (crtbeginS.o), unnamed in a profile.
    list(PREPEND symbols frame_dummy)
    list(JOIN symbols "\n" order)
    set(order_file ${CMAKE_CURRENT_BINARY_DIR}/${target}-load-order.txt)
    file(CONFIGURE OUTPUT ${order_file} CONTENT "${order}\n" @ONLY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list})
    # lld 14 cannot pack relative relocations the way the C library requires (the
    # GLIBC_ABI_DT_RELR version dependency).
    if(NOT KAVREL_LLD_PACKS_RELOCS)
        get_target_property(options ${target} LINK_OPTIONS)
        if(options)
            list(REMOVE_ITEM options LINKER:-z,pack-relative-relocs)
            set_property(TARGET ${target} PROPERTY LINK_OPTIONS ${options})
        endif()
    endif()
    # Two additions to lld's own layout, from a script that only adds them. It puts the
    # procedure linkage table, which the load's first calls go through, and the start and end
    # code after the text: they move to the front, beside the listed functions. And the
    # read-only data the load reads goes to the front of .rodata, beside the relocation
    # tables the loader reads anyway: the merged literals and constants, which have no name
    # to list, and the listed functions' own tables (their `switch` jumps).
    set(tables "")
    foreach(symbol ${symbols})
        string(APPEND tables " .rodata.${symbol}")
    endforeach()
    set(script_file ${CMAKE_CURRENT_BINARY_DIR}/${target}-load-order.ld)
    file(CONFIGURE OUTPUT ${script_file} CONTENT "SECTIONS
{
  .init : { KEEP(*(SORT_NONE(.init))) }
  .fini : { KEEP(*(SORT_NONE(.fini))) }
  .plt : { *(.plt) }
} INSERT BEFORE .text;
SECTIONS
{
  .rodata : { *(.rodata.str* .rodata.cst*${tables}) *(.rodata .rodata.* .gnu.linkonce.r.*) }
} INSERT AFTER .rela.plt;
" @ONLY)
    target_link_options(${target} PRIVATE ${KAVREL_LLD_OPTIONS} "LINKER:--symbol-ordering-file=${order_file}"
                        LINKER:--no-warn-symbol-ordering "LINKER:-T,${script_file}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${order_file} ${script_file})
endfunction()
