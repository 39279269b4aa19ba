// What every host command shares: where the plug-ins are and, in the native
// build, the simulated devices to put behind them.
#pragma once

#include <string>
#include <vector>

struct SimOptions {
  std::vector<std::string> cameras;  // product identifiers, e.g. 0A30
  bool virtualClock = false;
  int wheelPositions = 0;            // 0: no simulated wheel
  bool testPattern = false;          // cameras send the test pattern instead of the sky
  unsigned seed = 1;
};

struct HostContext {
  std::string cameraPluginPath;
  std::string wheelPluginPath;
  bool verbose = false;
  SimOptions sim;
  // Builds the simulated world from `sim` (native build; nothing on Windows).
  // Safe to call more than once: only the first call builds.
  void prepareWorld();
  bool simulated() const;
};
