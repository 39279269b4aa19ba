// The host program: loads the plug-ins from a path and drives them through
// their exports and their objects' slot tables, as a host application does.
#include <CLI/CLI.hpp>

#include "commands.h"
#include "host_context.h"

#ifndef CV_DEFAULT_CAMERA_PLUGIN
#define CV_DEFAULT_CAMERA_PLUGIN "Corvane KT Plug In.dll"
#endif
#ifndef CV_DEFAULT_WHEEL_PLUGIN
#define CV_DEFAULT_WHEEL_PLUGIN "Cv Filter Wheel Plug In.dll"
#endif

int main(int argc, char** argv) {
  CLI::App app{"Drives the Corvane KT camera and Cv filter wheel plug-ins"};
  app.require_subcommand(1);
  HostContext ctx;
  ctx.cameraPluginPath = CV_DEFAULT_CAMERA_PLUGIN;
  ctx.wheelPluginPath = CV_DEFAULT_WHEEL_PLUGIN;
  app.add_option("--camera-plugin", ctx.cameraPluginPath, "Path of the camera plug-in library")
      ->capture_default_str();
  app.add_option("--wheel-plugin", ctx.wheelPluginPath, "Path of the filter wheel plug-in library")
      ->capture_default_str();
  app.add_flag("-v,--verbose", ctx.verbose, "Say more about what is done");
#if !defined(_WIN32)
  auto* sim = app.add_option_group("Simulated devices", "The devices behind the Win32 stand-in");
  sim->add_option("--sim-camera", ctx.sim.cameras,
                  "Attach a simulated camera of this product identifier (e.g. 0A30); repeatable");
  sim->add_flag("--sim-virtual-clock", ctx.sim.virtualClock,
                "Run on a virtual clock: waits take no real time");
  sim->add_option("--sim-wheel", ctx.sim.wheelPositions, "Attach a simulated wheel with 5 or 7 positions");
  sim->add_flag("--sim-test-pattern", ctx.sim.testPattern,
                "Cameras send a test pattern (row, column and field in every sample) instead of the sky");
  sim->add_option("--sim-seed", ctx.sim.seed, "Seed of the simulated sky");
#endif

  AddInfoCommand(app, ctx);
  AddLinkCommand(app, ctx);
  AddExposeCommand(app, ctx);
  AddCoolCommand(app, ctx);
  AddPulseCommand(app, ctx);
  AddSettingsCommand(app, ctx);
  AddWheelCommand(app, ctx);

  CLI11_PARSE(app, argc, argv);
  return 0;
}
