#include "sim_setup.h"

#include <cstdio>

#include "clock.h"
#include "sim_camera.h"
#include "sim_wheel.h"
#include "world.h"

void BuildSimulatedWorld(const SimOptions& options) {
  if (options.virtualClock) {
    cvsim::Clock::instance().useVirtualTime();
    // The plug-in busy-waits on the tick count (the camera-timed second
    // field, the staggered early read): each reading moves virtual time on.
    cvsim::Clock::instance().setSpinStep(1);
  }
  else
    cvsim::Clock::instance().useRealTime();
  int instance = 0;
  for (const std::string& key : options.cameras) {
    if (!cvsim::FindSensor(key))
      std::fprintf(stderr, "note: product %s is not in the simulator's catalogue; "
                   "it is simulated as a plain 640 x 480 camera\n", key.c_str());
    auto camera = cvsim::AttachCamera(key, instance++);
    // The sky and the noise follow --sim-seed; each camera gets its own sky.
    cvsim::SkyParams sky;
    sky.seed = options.seed + 1000u * static_cast<unsigned>(instance - 1);
    camera->setSky(sky);
    cvsim::NoiseModel noise = camera->noise();
    noise.seed = sky.seed * 7u + 3u;
    camera->setNoise(noise);
    camera->setTestPattern(options.testPattern);
  }
  // The filter wheel: any size is simulated; only 5 and 7 are the maker's.
  if (options.wheelPositions > 0) {
    cvsim::WheelConfig wheel;
    wheel.positions = options.wheelPositions;
    cvsim::AttachWheel(wheel);
  }
}
