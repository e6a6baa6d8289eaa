# Installation and the Debian package.
#
#   <prefix>/lib/<triplet>/kavrel/   the library, the platform layer, the components, the
#                                    agent's message module, Lumbrik.exe and the tools
#   <prefix>/bin/                    the tools, as links into the folder above: a tool runs
#                                    from there, so the library finds the launcher and the
#                                    components beside it, and RUNPATH $ORIGIN finds the
#                                    libraries; nothing needs an environment variable
#   <prefix>/include/kavrel/         kavrel.h and the Windows types it is declared with
#   <prefix>/lib/<triplet>/pkgconfig/kavrel.pc
#   <prefix>/share/man/man1/, <prefix>/share/bash-completion/completions/,
#   <prefix>/share/doc/kavrel/       the README and the example query documents
#
# `cmake --install build --prefix /usr` installs by hand; `cpack -G DEB` (from the build
# folder) makes the package, which installs under /usr. The state root is not installed: it
# is made on first use and left behind on removal.
if(CMAKE_LIBRARY_ARCHITECTURE)
    set(KAVREL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE})
else()
    set(KAVREL_LIBDIR lib)
endif()
set(KAVREL_PKGLIBDIR ${KAVREL_LIBDIR}/kavrel)

set(kv_installed_libraries kvwin kavrel)
foreach(component kavrel_hubevent kavrel_jscript kavrel_scripting kavrel_wmi
        kavrel_wmiscripting kavrel_xmldom kavrel_vbscript)
    if(TARGET ${component})
        list(APPEND kv_installed_libraries ${component})
    endif()
endforeach()
install(TARGETS ${kv_installed_libraries}
    LIBRARY DESTINATION ${KAVREL_PKGLIBDIR} COMPONENT runtime)
# Each installed component's registration file, from which the layer serves its classes.
foreach(component ${kv_installed_libraries})
    if(NOT component MATCHES "^kavrel_")
        continue()
    endif()
    install(FILES ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/kavrel-classes/$<TARGET_FILE_NAME:${component}>.classes
        DESTINATION ${KAVREL_PKGLIBDIR}/kavrel-classes COMPONENT runtime)
endforeach()
install(FILES ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/ZorAgentExt.dll
    DESTINATION ${KAVREL_PKGLIBDIR} COMPONENT runtime)
install(TARGETS lumbrik RUNTIME DESTINATION ${KAVREL_PKGLIBDIR} COMPONENT runtime)

set(kv_installed_tools)
foreach(tool kavrel-query kavrel-reg kavrel-log kavrel-script)
    if(TARGET ${tool})
        list(APPEND kv_installed_tools ${tool})
    endif()
endforeach()
install(TARGETS ${kv_installed_tools} RUNTIME DESTINATION ${KAVREL_PKGLIBDIR} COMPONENT runtime)
foreach(tool ${kv_installed_tools})
    install(CODE "
        set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/${tool}\")
        file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
        file(REMOVE \"\${link}\")
        file(CREATE_LINK \"../${KAVREL_PKGLIBDIR}/${tool}\" \"\${link}\" SYMBOLIC)
        message(STATUS \"Installing: \${link} -> ../${KAVREL_PKGLIBDIR}/${tool}\")"
        COMPONENT runtime)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/include/kavrel/kavrel.h
    DESTINATION include/kavrel COMPONENT runtime)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/winapi/include/win
    DESTINATION include/kavrel COMPONENT runtime FILES_MATCHING PATTERN "*.h")
# The file finds its prefix from where it lies, so one file serves any prefix.
file(RELATIVE_PATH kv_pc_up /${KAVREL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" kv_pc_up "${kv_pc_up}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/kavrel.pc.in ${CMAKE_BINARY_DIR}/kavrel.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/kavrel.pc
    DESTINATION ${KAVREL_LIBDIR}/pkgconfig COMPONENT runtime)

foreach(page kavrel-query kavrel-script kavrel-reg kavrel-log)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/man/${page}.1
        DESTINATION share/man/man1 COMPONENT runtime)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/scripts/completion/kavrel.bash
    DESTINATION share/bash-completion/completions RENAME kavrel-query COMPONENT runtime)
foreach(tool kavrel-reg kavrel-log kavrel-script)
    install(CODE "
        set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/bash-completion/completions/${tool}\")
        file(REMOVE \"\${link}\")
        file(CREATE_LINK kavrel-query \"\${link}\" SYMBOLIC)"
        COMPONENT runtime)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc/kavrel COMPONENT runtime)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/
    DESTINATION share/doc/kavrel/examples COMPONENT runtime FILES_MATCHING PATTERN "*.xml")

# The Debian package: only the runtime component (the tests and benchmarks stay out).
set(CPACK_PACKAGE_NAME kavrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kavrel developers <kavrel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Inventory-collection library with its WMI service and tools")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL runtime)
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};runtime;/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
# postinst makes the system group whose members may write the agent log.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/postinst)
# The printer calls load the CUPS client, and the registry SQLite, when first used; the
# package scan cannot see that.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcups2, libsqlite3-0")
# Modules with packed relative relocations need the loader of glibc 2.36; they name it by a
# version of their own, which the package scan does not read.
if(KAVREL_LINKER_PACKS_RELOCS)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libc6 (>= 2.36)")
endif()
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
