// `cool`: set the cooler's setpoint, switch it on or off, and with --watch
// poll the temperature as the host application does, printing what the
// plug-in reports each time, until --for is up or Ctrl-C.
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "camera_plugin_api.h"
#include "camera_session.h"
#include "commands.h"
#include "win32.h"

#if !defined(_WIN32)
#include "clock.h"
#endif

namespace {

volatile std::sig_atomic_t g_coolInterrupted = 0;
extern "C" void OnCoolInterrupt(int) { g_coolInterrupted = 1; }

struct CoolOptions {
  double setpoint = 0.0;
  bool on = false;
  bool off = false;
  bool watch = false;
  double forSeconds = 0.0;  // 0: until interrupted
  double intervalSeconds = 2.0;
  bool leaveOffAtEnd = false;
};

// Waits between polls: on the virtual clock time is moved on directly, so a
// long watch takes no real time.
void WaitMs(uint32_t ms, bool virtualClock) {
#if !defined(_WIN32)
  if (virtualClock) {
    cvsim::Clock::instance().advance(ms);
    return;
  }
#else
  (void)virtualClock;
#endif
  Sleep(ms);
}

int RunCool(HostContext& ctx, const CoolOptions& o, bool setpointGiven) {
  ctx.prepareWorld();
  CameraPlugin plugin;
  std::unique_ptr<CameraObject> camera;
  if (int rc = OpenLinkedImager(ctx, plugin, camera)) return rc;
  // A host sets up its image right after linking. That first chip-size
  // query also ends the read mark that an interlaced camera's timing read
  // leaves behind, which otherwise keeps the cooler commands back.
  int chipWidth = 0, chipHeight = 0;
  camera->chipSize(kWhichImaging, 1, 1, &chipWidth, &chipHeight);

  double recommended = 0.0;
  camera->recommendedSetpoint(&recommended);
  if (o.on || o.off || setpointGiven) {
    // A setpoint alone switches the cooler on; --off without a setpoint
    // sends the recommended one with the cooler off.
    int on = o.off ? 0 : 1;
    const double setpoint = setpointGiven ? o.setpoint : recommended;
    camera->regulateTemp(&on, setpoint);
    if (!o.off && on == 0)
      std::printf("This camera cannot regulate its temperature (no cooler, or a guide head)\n");
    else
      std::printf("Cooler %s, setpoint %.2f C\n", on ? "on" : "off", setpoint);
  } else {
    std::printf("Recommended setpoint %.2f C\n", recommended);
  }

  const uint32_t intervalMs =
      o.intervalSeconds <= 0.001 ? 1u : static_cast<uint32_t>(o.intervalSeconds * 1000.0);
  const uint64_t forMs = o.forSeconds > 0 ? static_cast<uint64_t>(o.forSeconds * 1000.0) : 0;
  g_coolInterrupted = 0;
  auto previous = std::signal(SIGINT, OnCoolInterrupt);
  // Elapsed time summed from differences of the tick counter, so that it
  // survives the counter's wrap.
  uint32_t last = GetTickCount();
  uint64_t elapsed = 0;
  do {
    double temperature = 0, second = 0, setpoint = 0;
    int status = 0;
    char text[6] = {0};
    camera->queryTemperature(&temperature, &second, text, sizeof text, &status, &setpoint);
    std::printf("%8.1f s  temperature %7.2f C  setpoint %7.2f C  status %d  %s\n",
                static_cast<double>(elapsed) / 1000.0, temperature, setpoint, status, text);
    std::fflush(stdout);
    if (!o.watch) break;
    if (forMs && elapsed >= forMs) break;
    uint32_t wait = intervalMs;
    if (forMs && forMs - elapsed < wait) wait = static_cast<uint32_t>(forMs - elapsed);
    WaitMs(wait, ctx.sim.virtualClock);
    const uint32_t now = GetTickCount();
    elapsed += static_cast<uint32_t>(now - last);
    last = now;
  } while (!g_coolInterrupted);
  std::signal(SIGINT, previous);
  if (g_coolInterrupted) std::printf("Interrupted\n");
  camera->disconnect(o.leaveOffAtEnd ? 1 : 0);
  return 0;
}

}  // namespace

void AddCoolCommand(CLI::App& app, HostContext& ctx) {
  auto o = std::make_shared<CoolOptions>();
  CLI::App* cmd = app.add_subcommand(
      "cool", "Set the cooler's setpoint, switch it on or off, and watch the temperature");
  CLI::Option* setpoint =
      cmd->add_option("--setpoint", o->setpoint, "Setpoint in degrees Celsius (switches the "
                                                 "cooler on unless --off is given)");
  CLI::Option* on = cmd->add_flag("--on", o->on, "Switch the cooler on");
  cmd->add_flag("--off", o->off, "Switch the cooler off")->excludes(on);
  cmd->add_flag("--watch", o->watch, "Keep polling the temperature as the host does");
  cmd->add_option("--for", o->forSeconds, "With --watch: stop after this many seconds "
                                          "(default: until Ctrl-C)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--interval", o->intervalSeconds, "Seconds between polls")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  cmd->add_flag("--leave-off", o->leaveOffAtEnd,
                "Disconnect with the cooler switched off at the end");
  cmd->callback([&ctx, o, setpoint]() {
    const int rc = RunCool(ctx, *o, setpoint->count() > 0);
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}
