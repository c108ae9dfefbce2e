// A program that loads libcups, as brisakett-send does, and asks nothing:
// what `brisakett-send --version` is made of. Built twice: with the shared
// C++ runtime, as brisakett-send is linked, and without it (a program that
// uses nothing of it, which the linker then leaves out).
#ifdef BRISAKETT_WITH_CXX_RUNTIME
#include <stdexcept>
#endif

#include "libcups_loaded.h"

int main([[maybe_unused]] int argc, char**) {
  brisakett::bench::KeepLibcupsLoaded();
#ifdef BRISAKETT_WITH_CXX_RUNTIME
  // Never thrown; it keeps the C++ runtime among the libraries loaded.
  if (argc < 0) throw std::runtime_error("no arguments");
#endif
  return 0;
}
