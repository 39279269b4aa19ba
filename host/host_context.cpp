#include "host_context.h"

#if !defined(_WIN32)
#include "sim_setup.h"
#endif

void HostContext::prepareWorld() {
#if !defined(_WIN32)
  static bool built = false;
  if (built) return;
  built = true;
  BuildSimulatedWorld(sim);
#endif
}

bool HostContext::simulated() const {
#if defined(_WIN32)
  return false;
#else
  return true;
#endif
}
