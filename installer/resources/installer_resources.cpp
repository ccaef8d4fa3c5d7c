// The installer's compiled resources, from the bytes that the build embeds
// (cmake/resources.cmake).
#include "installer/resources/installer_resources.h"

#include <cstddef>

extern const unsigned char InstallerResourceBytes[];
extern const std::size_t InstallerResourceBytesSize;

namespace resources {

std::vector<unsigned char> InstallerResources() {
  return std::vector<unsigned char>(InstallerResourceBytes,
                                    InstallerResourceBytes + InstallerResourceBytesSize);
}

}  // namespace resources
