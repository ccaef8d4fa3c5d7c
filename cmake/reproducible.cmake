# The Windows programs come out byte for byte the same from the same sources,
# whenever and wherever they are built: the linker writes no time stamp into
# the PE header (TimeDateStamp 0), and no absolute path of the source or build
# folder reaches the objects (__FILE__, debugging sections before stripping).
if(WIN32)
  add_link_options(LINKER:--no-insert-timestamp)
  add_compile_options(
    -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
    -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
endif()
