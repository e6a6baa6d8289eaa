# Compiles through ccache when it is installed. Paths under the source tree are hashed
# relative to it and the working folder is left out of the hash, so two clones of the
# project in different folders share one cache (CI builds a fresh clone every run).
option(KAVREL_CCACHE "Compile through ccache when it is installed" ON)
if(KAVREL_CCACHE)
    find_program(KAVREL_CCACHE_PROGRAM ccache)
    if(KAVREL_CCACHE_PROGRAM)
        set(_kavrel_ccache_env
            ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${CMAKE_SOURCE_DIR} CCACHE_NOHASHDIR=1
            CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
            ${KAVREL_CCACHE_PROGRAM})
        set(CMAKE_C_COMPILER_LAUNCHER ${_kavrel_ccache_env})
        set(CMAKE_CXX_COMPILER_LAUNCHER ${_kavrel_ccache_env})
    endif()
endif()
