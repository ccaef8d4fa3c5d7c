# Writes a C++ source that holds the bytes of a compiled resource file:
#   cmake -DINPUT=<file.res> -DOUTPUT=<file.cpp> -P embed_resources.cmake
file(READ ${INPUT} bytes HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
file(WRITE ${OUTPUT}
"// Generated from the installer's resource script; do not edit.
#include \"app/installer_resources.h\"

namespace {
const unsigned char kInstallerResources[] = {
  ${bytes}
};
}  // namespace

std::vector<unsigned char> InstallerResources() {
  return std::vector<unsigned char>(kInstallerResources,
                                    kInstallerResources + sizeof kInstallerResources);
}
")
