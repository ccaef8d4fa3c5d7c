# Windows programs that ship inside every installer image (installer.exe,
# UNINSTAL.EXE) are built for size:
#
#   saverkit_small_windows_program(<program> [OWN_START] [LIBRARIES <lib>...])
#
# Their code (the program's own sources and the LIBRARIES, which only such
# programs link) is compiled without exceptions, RTTI and unwind tables
# (no .eh_frame), one section per function, so that the linker drops every
# function nothing calls (no -fdata-sections: this gcc then places
# zero-filled variables in .data, which would put the installer's 40 KB of
# buffers into the file). The program is linked stripped and without a
# relocation section, so that the resource section stays the last one (the
# packer extends it with the payload behind it).
#
# OWN_START replaces the C runtime's start-up code with
# installer/startup/program_start.cpp, which calls WinMain as it did; for
# programs whose code needs nothing of the runtime's start (no argc/argv,
# no TLS, no floating point set-up).
#
# The libraries shared with the tool (format, codec, text) keep their
# exceptions: the tool throws through them. They get one section per
# function and unwind tables only where an exception may pass (set once,
# whichever program asks first).
set(SAVERKIT_SMALL_PROGRAM_FLAGS
  -ffunction-sections -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables)

function(saverkit_small_windows_program program)
  cmake_parse_arguments(PARSE_ARGV 1 arg "OWN_START" "" "LIBRARIES")
  target_compile_options(${program} PRIVATE ${SAVERKIT_SMALL_PROGRAM_FLAGS})
  foreach(library IN LISTS arg_LIBRARIES)
    target_compile_options(${library} PRIVATE ${SAVERKIT_SMALL_PROGRAM_FLAGS})
  endforeach()
  get_property(shared_done GLOBAL PROPERTY SAVERKIT_SMALL_SHARED_LIBRARIES)
  if(NOT shared_done)
    set_property(GLOBAL PROPERTY SAVERKIT_SMALL_SHARED_LIBRARIES TRUE)
    foreach(library format codec text)
      target_compile_options(${library} PRIVATE -ffunction-sections -fno-asynchronous-unwind-tables)
    endforeach()
  endif()
  target_link_options(${program} PRIVATE -s -Wl,--gc-sections -Wl,--disable-reloc-section)
  if(arg_OWN_START)
    target_sources(${program} PRIVATE ${PROJECT_SOURCE_DIR}/installer/startup/program_start.cpp)
    target_link_options(${program} PRIVATE -nostartfiles -Wl,-e,_ProgramStart)
  endif()
endfunction()
