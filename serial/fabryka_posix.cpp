// The programs' platform on Linux and other POSIX systems.
#include "serial/platforma.h"

namespace ostrel {

std::unique_ptr<PlatformaSzeregowa> utworz_platforme() {
  return utworz_platforme_posix();
}

}  // namespace ostrel
