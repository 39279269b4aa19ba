// `pulse`: fire the guide relays for the given times, as a guiding host
// does, and say what the plug-in answered.
#include <chrono>
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

struct PulseOptions {
  // Milliseconds per relay line, in the plug-in's argument order: +X, -X
  // (a pair), +Y, -Y (a pair).
  int ms[4] = {0, 0, 0, 0};
  bool noWait = false;
  bool stop = false;
};

const char* Describe(int rc) {
  switch (rc) {
    case 0: return "done";
    case 206: return "refused: both relays of a pair were asked for, or a length the plug-in "
                     "cannot time; nothing was sent";
    case 219: return "relays switched on but not timed: a read is outstanding; they stay on";
    default: return "an unexpected result";
  }
}

int RunPulse(HostContext& ctx, const PulseOptions& o) {
  ctx.prepareWorld();
#if !defined(_WIN32)
  // The plug-in times pulses by reading the tick counter over and over; on
  // the virtual clock every reading has to move time on a little.
  if (ctx.sim.virtualClock) cvsim::Clock::instance().setSpinStep(1);
#endif
  CameraPlugin plugin;
  std::unique_ptr<CameraObject> camera;
  if (int rc = OpenLinkedImager(ctx, plugin, camera)) return rc;
  // The plug-in counts in 10 ms units; round up so that a short pulse is
  // never lost.
  int units[4];
  for (int k = 0; k < 4; ++k) units[k] = o.ms[k] / 10 + (o.ms[k] % 10 ? 1 : 0);
  std::printf("Relays +X %d ms, -X %d ms, +Y %d ms, -Y %d ms%s%s\n", units[0] * 10, units[1] * 10,
              units[2] * 10, units[3] * 10, o.noWait ? ", not waited for" : "",
              o.stop ? " (stop: all off)" : "");
  const uint32_t t0 = GetTickCount();
  const auto wall0 = std::chrono::steady_clock::now();
  const int rc =
      camera->activateRelays(units[0], units[1], units[2], units[3], o.noWait ? 0 : 1, o.stop);
  const uint32_t ticks = GetTickCount() - t0;
  const double wallMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall0).count();
  std::printf("Result %d: %s (%u ms on the tick counter, %.1f ms wall)\n", rc, Describe(rc),
              ticks, wallMs);
  camera->disconnect(0);
  return rc == 0 ? 0 : 1;
}

}  // namespace

void AddPulseCommand(CLI::App& app, HostContext& ctx) {
  auto o = std::make_shared<PulseOptions>();
  CLI::App* cmd = app.add_subcommand(
      "pulse", "Fire the guide relays: a time in milliseconds per direction (10 ms steps)");
  const char* names[4] = {"--plus-x", "--minus-x", "--plus-y", "--minus-y"};
  const char* help[4] = {"Relay line 1 (+X), ms", "Relay line 2 (-X, opposite of +X), ms",
                         "Relay line 3 (+Y), ms", "Relay line 4 (-Y, opposite of +Y), ms"};
  for (int k = 0; k < 4; ++k)
    cmd->add_option(names[k], o->ms[k], help[k])->check(CLI::Range(0, 2147483640));
  cmd->add_flag("--no-wait", o->noWait,
                "Switch the relays on and return; they stay on until the next call");
  cmd->add_flag("--stop", o->stop, "Switch every relay off at once");
  cmd->callback([&ctx, o]() {
    const int rc = RunPulse(ctx, *o);
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}
