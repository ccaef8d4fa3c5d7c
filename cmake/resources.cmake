# Compiling a resource script into a .res file and embedding its bytes in a
# host build, so that the Win32 stand-in reads the same dialog templates and
# icons as the real program.
#
#   saverkit_embed_resources(<target> <rc file> <symbol> [DEPENDS <file>...])
#
# runs i686-w64-mingw32-windres (-O res, with the project root, the
# generated folder (saverkit_version.h, manifests/) and the script's folder
# as include folders; the cross preprocessor defines
# RC_INVOKED and finds the real <windows.h>) and adds to <target> a
# generated source that defines
#
#   extern const unsigned char <symbol>[];    // the .res file's bytes
#   extern const std::size_t <symbol>Size;    // their count
#
# Headers the script includes are tracked through the preprocessor's
# dependency file; list other inputs (icon files) under DEPENDS.
#
# The same file, run as a script (cmake -DINPUT=<res> -DOUTPUT=<cpp>
# -DSYMBOL=<name> -P resources.cmake), writes that generated source.

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED SYMBOL)
  file(READ "${INPUT}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # Sixty-four bytes to a line keeps the generated source readable.
  string(REGEX REPLACE "((0x..,){64})" "\\1\n  " bytes "${bytes}")
  if(size EQUAL 0)
    set(bytes "0")
  endif()
  file(WRITE "${OUTPUT}"
    "// Generated from ${INPUT}: the program's compiled resources.\n"
    "#include <cstddef>\n\n"
    "extern const unsigned char ${SYMBOL}[] = {\n  ${bytes}\n};\n"
    "extern const std::size_t ${SYMBOL}Size = ${size};\n")
  return()
endif()

set(SAVERKIT_RESOURCES_SCRIPT "${CMAKE_CURRENT_LIST_FILE}")
find_program(SAVERKIT_WINDRES NAMES i686-w64-mingw32-windres)

function(saverkit_embed_resources target rc symbol)
  cmake_parse_arguments(EMBED "" "" "DEPENDS" ${ARGN})
  if(NOT SAVERKIT_WINDRES)
    message(FATAL_ERROR "i686-w64-mingw32-windres is needed to compile ${rc} (Debian package binutils-mingw-w64-i686)")
  endif()
  get_filename_component(rcPath "${rc}" ABSOLUTE)
  get_filename_component(rcDir "${rcPath}" DIRECTORY)
  set(res "${CMAKE_CURRENT_BINARY_DIR}/${symbol}.res")
  set(cpp "${CMAKE_CURRENT_BINARY_DIR}/${symbol}.cpp")
  add_custom_command(OUTPUT "${res}"
    COMMAND "${SAVERKIT_WINDRES}" --input-format=rc --output-format=res
            -I "${PROJECT_SOURCE_DIR}" -I "${SAVERKIT_GENERATED_DIR}" -I "${rcDir}"
            "--preprocessor-arg=-MD" "--preprocessor-arg=-MT" "--preprocessor-arg=${res}"
            "--preprocessor-arg=-MF" "--preprocessor-arg=${res}.d"
            -i "${rcPath}" -o "${res}"
    DEPENDS "${rcPath}" ${EMBED_DEPENDS}
    DEPFILE "${res}.d"
    WORKING_DIRECTORY "${rcDir}"
    COMMENT "Compiling resources ${rc}"
    VERBATIM)
  add_custom_command(OUTPUT "${cpp}"
    COMMAND "${CMAKE_COMMAND}" -DINPUT=${res} -DOUTPUT=${cpp} -DSYMBOL=${symbol} -P "${SAVERKIT_RESOURCES_SCRIPT}"
    DEPENDS "${res}" "${SAVERKIT_RESOURCES_SCRIPT}"
    VERBATIM)
  target_sources(${target} PRIVATE "${cpp}")
endfunction()
