# The project's one version (project(... VERSION ...)) made available to
# everything that shows it:
#
#   saverkit_version            an interface library whose include folder
#                               holds saverkit_version.h (C++ and .rc files)
#   saverkit_configure_manifest(<in> <name>)
#                               writes an application manifest, without
#                               its comments, with
#                               @SAVERKIT_VERSION_QUAD@ replaced into
#                               <build>/generated/manifests/<name>, which a
#                               resource script names "manifests/<name>"
#   SAVERKIT_GENERATED_DIR      that include folder, for windres runs that
#                               are not CMake's own (-I)
#
# The package's version (CPack) is PROJECT_VERSION as well.

set(SAVERKIT_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
# An application manifest's assemblyIdentity version has four parts.
set(SAVERKIT_VERSION_QUAD "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")

configure_file(${CMAKE_CURRENT_LIST_DIR}/saverkit_version.h.in
               ${SAVERKIT_GENERATED_DIR}/saverkit_version.h @ONLY)

add_library(saverkit_version INTERFACE)
target_include_directories(saverkit_version INTERFACE ${SAVERKIT_GENERATED_DIR})

# The written manifest is the source's XML without its comments and
# indentation: they explain the source, and every installer image would
# carry them.
function(saverkit_configure_manifest in name)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${in})
  file(READ ${in} text)
  string(REGEX REPLACE "<!--([^-]|-[^-])*-->" "" text "${text}")
  string(REGEX REPLACE "\n[ \t\n]*" "\n" text "${text}")
  # Written only when it changed, so that nothing is rebuilt for nothing.
  file(CONFIGURE OUTPUT ${SAVERKIT_GENERATED_DIR}/manifests/${name} CONTENT "${text}" @ONLY)
endfunction()
