// The installer's compiled resources (the .res made from
// resources/installer.rc), embedded in host programs so that the Win32
// stand-in shows the very dialog templates of the real program.
#pragma once

#include <vector>

namespace resources {

std::vector<unsigned char> InstallerResources();

}  // namespace resources
