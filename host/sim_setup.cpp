#include "sim_setup.h"

#include <cstdio>

#include "clock.h"
#include "sim_camera.h"
#include "sim_wheel.h"
#include "world.h"

void BuildSimulatedWorld(const SimOptions& options) {
  if (options.virtualClock)
    cvsim::Clock::instance().useVirtualTime();
  else
    cvsim::Clock::instance().useRealTime();
  int instance = 0;
  for (const std::string& key : options.cameras) {
    if (!cvsim::FindSensor(key))
      std::fprintf(stderr, "note: product %s is not in the simulator's catalogue; "
                   "it is simulated as a plain 640 x 480 camera\n", key.c_str());
    cvsim::AttachCamera(key, instance++);
  }
  // The filter wheel: any size is simulated; only 5 and 7 are the maker's.
  if (options.wheelPositions > 0) {
    cvsim::WheelConfig wheel;
    wheel.positions = options.wheelPositions;
    cvsim::AttachWheel(wheel);
  }
}
