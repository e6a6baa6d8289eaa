# What a tool's --version prints besides the project version: where the sources came from
# (git describe, when the sources are a clone) and the build type, fixed at configure time.
set(KAVREL_BUILD_DESCRIPTION "")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
    execute_process(COMMAND ${GIT_EXECUTABLE} describe --always --dirty --tags
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE kv_git_describe OUTPUT_STRIP_TRAILING_WHITESPACE
        ERROR_QUIET RESULT_VARIABLE kv_git_result)
    if(kv_git_result EQUAL 0 AND kv_git_describe)
        set(KAVREL_BUILD_DESCRIPTION "${kv_git_describe}")
    endif()
endif()
if(CMAKE_BUILD_TYPE)
    string(APPEND KAVREL_BUILD_DESCRIPTION " ${CMAKE_BUILD_TYPE}")
endif()
if(KAVREL_SANITIZE)
    string(APPEND KAVREL_BUILD_DESCRIPTION " sanitizers")
endif()
string(STRIP "${KAVREL_BUILD_DESCRIPTION}" KAVREL_BUILD_DESCRIPTION)
