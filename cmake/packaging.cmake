# Installing the Linux tool with the Windows programs it packs, and the
# Debian package made from that installation (CPack).
#
#   cmake --install build/host --prefix /usr/local
#     bin/saverkit
#     share/saverkit/installer.exe, UNINSTAL.EXE    the stub and uninstaller
#     share/saverkit/demo/                          the demo screen saver,
#                                                   its data file and media
#     share/man/man1/saverkit.1.gz, share/doc/saverkit/
#     lib/libsaverkit.so*, include/saverkit/, lib/cmake/Saverkit/,
#     lib/pkgconfig/saverkit.pc                     libsaverkit (libsaverkit/)
#     lib/python3/dist-packages/saverkit.*.so       the Python module (python/)
#   cpack -G DEB --config build/host/CPackConfig.cmake   (scripts/package.sh)
#
# The Windows programs come from a win32 build of the same sources,
# SAVERKIT_WINDOWS_BUILD_DIR (default build/win32); the tool finds them at
# ../share/saverkit from its own folder, so any prefix works.
include(GNUInstallDirs)

# Folders made by the installation are 0755 whatever the builder's umask: a
# group-writable /usr/share/saverkit would let others swap the stub.
set(saverkit_directory_permissions
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${saverkit_directory_permissions})
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${saverkit_directory_permissions})

set(SAVERKIT_DATA_DIR ${CMAKE_INSTALL_DATADIR}/saverkit)

install(TARGETS saverkit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(windows_programs
  "${SAVERKIT_WINDOWS_BUILD_DIR}/installer.exe"
  "${SAVERKIT_WINDOWS_BUILD_DIR}/UNINSTAL.EXE"
  "${SAVERKIT_WINDOWS_BUILD_DIR}/${SAVERKIT_DEMO_TITLE}.scr")
# Refused with a clear message rather than an install without its stub.
foreach(file IN LISTS windows_programs)
  install(CODE "
    if(NOT EXISTS [[${file}]])
      message(FATAL_ERROR [[${file} is missing: build the win32 preset first (cmake --preset win32 && cmake --build --preset win32), or set SAVERKIT_WINDOWS_BUILD_DIR]])
    endif()")
endforeach()
install(FILES "${SAVERKIT_WINDOWS_BUILD_DIR}/installer.exe" "${SAVERKIT_WINDOWS_BUILD_DIR}/UNINSTAL.EXE"
        DESTINATION ${SAVERKIT_DATA_DIR})
install(FILES "${SAVERKIT_WINDOWS_BUILD_DIR}/${SAVERKIT_DEMO_TITLE}.scr"
              ${SAVERKIT_DEMO_FILES_DIR}/aurora.dat ${SAVERKIT_DEMO_FILES_DIR}/melody.mid
              ${SAVERKIT_DEMO_FILES_DIR}/chime.wav
        DESTINATION ${SAVERKIT_DATA_DIR}/demo)

# The manual page, compressed as Debian keeps them (-n: no name or time
# inside, so the package stays reproducible).
configure_file(${PROJECT_SOURCE_DIR}/docs/saverkit.1.in ${CMAKE_BINARY_DIR}/man/saverkit.1 @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/saverkit.1.gz
  COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/man/saverkit.1 > ${CMAKE_BINARY_DIR}/man/saverkit.1.gz
  DEPENDS ${CMAKE_BINARY_DIR}/man/saverkit.1
  VERBATIM)
add_custom_target(saverkit_manual ALL DEPENDS ${CMAKE_BINARY_DIR}/man/saverkit.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/man/saverkit.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/libsaverkit.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/saverkit)
install(FILES ${PROJECT_SOURCE_DIR}/demo/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/saverkit
        RENAME README.demo.md)

set(CPACK_PACKAGE_NAME saverkit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Saverkit")
set(CPACK_PACKAGE_CONTACT "Saverkit maintainers <saverkit@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Packs, lists, tests and previews Windows screen saver installers")
# (The description below goes on with the library and the Python module.)
set(CPACK_PACKAGE_DESCRIPTION
    "saverkit makes a self-contained 32-bit Windows installer from a screen saver, its data file, an uninstaller and media files, optionally signed with Authenticode (osslsigncode), and lists, tests, extracts and previews (on a simulated Windows machine) such installers. libsaverkit (C++, with a CMake package and pkg-config file) and the Python module saverkit read, decode, identify and pack them from programs.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "osslsigncode, python3")
# One package holds the tool, libsaverkit with its headers and the Python
# module: the library has no user outside this package yet and no stable
# ABI (soname libsaverkit.so.0), so a runtime/-dev split would only add a
# package to keep in step. The shlibs file and the ldconfig trigger come
# with it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.com/saverkit")
include(CPack)
