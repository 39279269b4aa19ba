// `link`: links to a camera as the host application does, prints what the
// plug-in's interface tells about it, and disconnects. With --guide-head a
// second object links to the guide head of the same camera as attached
// guider. The camera slot and imaging mode can only be chosen the way the
// host application chooses them, through the imager settings dialog; in the
// native build that dialog is answered automatically for --slot and --mode.
#include <cstdio>
#include <memory>
#include <string>

#include "camera_plugin_api.h"
#include "commands.h"
#include "win32.h"

#if !defined(_WIN32)
#include "dialogs/dialog_manager.h"
#include "sim_camera.h"
#include "world.h"
#endif

namespace {

struct LinkOptions {
  int slot = -1;  // -1: leave the plug-in's choice (slot 0 on a fresh object)
  int mode = -1;  // -1: leave the plug-in's choice (Automatic)
  bool guideHead = false;
  bool coolerOff = false;
};

const char* LinkResultText(int code) {
  switch (code) {
    case 0: return "linked";
    case 203: return "camera not reachable or not answering";
    case 205: return "no memory for the timing read";
    case 206: return "the full read could not be timed";
    default: return "unexpected result";
  }
}

// Chip size for each of the bin indexes the object offers.
void PrintGeometry(CameraObject& object, int which) {
  int count = 0;
  object.numBins(which, &count);
  std::printf("  Bin choices  %d\n", count);
  for (int i = 0; i < count && i < 16; ++i) {
    long bx = 0, by = 0;
    object.binSizeFromIndex(which, i, &bx, &by);
    int w = 0, h = 0;
    const int rc = object.chipSize(which, static_cast<int>(bx), static_cast<int>(by), &w, &h);
    if (rc != 0)
      std::printf("    index %d: bin %ld x %ld  (chip size failed: %d)\n", i, bx, by, rc);
    else
      std::printf("    index %d: bin %ld x %ld  chip %d x %d\n", i, bx, by, w, h);
  }
  unsigned long range = 0;
  object.fullDynamicRange(which, &range);
  std::printf("  Dynamic range %lu\n", range);
}

#if !defined(_WIN32)
// Chooses the camera and the mode in the imager dialog, then presses OK.
bool ChooseInImagerDialog(CameraObject& imager, const LinkOptions& o) {
  bool shown = false, chosen = true;
  cvdlg::DialogHandler previous = cvdlg::setDialogHandler([&](cvdlg::Dialog& d) {
    shown = true;
    if (o.slot >= 0) chosen = d.choose(206, o.slot) && chosen;
    if (o.mode >= 0) chosen = d.choose(200, o.mode) && chosen;
    d.click(1);  // OK
  });
  imager.settings(kWhichImaging);
  cvdlg::setDialogHandler(previous);
  if (!shown) std::fprintf(stderr, "error: the imager settings dialog did not open\n");
  else if (!chosen)
    std::fprintf(stderr, "error: the imager dialog has no camera %d or mode %d in its lists\n",
                 o.slot, o.mode);
  return shown && chosen;
}

// What the simulated camera behind a slot says about itself; the plug-in's
// interface does not tell the model, the capabilities or the scan type.
void PrintSimulatedCamera(int slot) {
  auto present = cvworld::World::instance().present(cvworld::kCameraDriverClass);
  if (slot < 0 || static_cast<size_t>(slot) >= present.size()) return;
  auto camera = std::dynamic_pointer_cast<cvsim::SimCamera>(present[slot].device);
  if (!camera) return;
  const cvsim::SensorSpec& s = camera->spec();
  std::printf("Simulated camera (as it describes itself)\n");
  std::printf("  Product      %s (%s), model code %d\n", s.productKey.c_str(), s.name.c_str(),
              s.model);
  std::printf("  Sensor       %u x %u, %u bits per pixel, %s\n", s.width, s.height,
              s.bitsPerPixel, s.interlaced ? "interlaced (height is one field)" : "progressive");
  std::printf("  Capabilities%s%s%s%s%s\n", (s.capabilities & 0x01) ? " guide-port" : "",
              (s.capabilities & 0x08) ? " guide-head" : "", (s.capabilities & 0x10) ? " cooler" : "",
              (s.capabilities & 0x20) ? " shutter" : "", s.capabilities ? "" : " none");
  if (s.capabilities & 0x08) std::printf("  Guide head   %u x %u\n", s.guideWidth, s.guideHeight);
  const unsigned long long bytes =
      static_cast<unsigned long long>(s.bitsPerPixel / 8) * s.width * s.height;
  std::printf("  Full-frame   %llu bytes per read\n", bytes);
}
#endif

int RunLink(HostContext& ctx, const LinkOptions& o) {
  ctx.prepareWorld();
  CameraPlugin plugin;
  std::string error;
  if (!plugin.load(ctx.cameraPluginPath, &error)) {
    std::fprintf(stderr, "error: %s\n", error.c_str());
    return 2;
  }
  // The first object of the process is the imager.
  std::unique_ptr<CameraObject> imager = plugin.allocObject();
  if (!imager) {
    std::fprintf(stderr, "error: AllocObject returned no object\n");
    return 2;
  }
  if (o.slot >= 0 || o.mode >= 0) {
#if defined(_WIN32)
    std::printf("Choose the camera and mode in the settings dialog that opens.\n");
    imager->settings(kWhichImaging);
#else
    if (!ChooseInImagerDialog(*imager, o)) return 2;
#endif
  }

  const DWORD t0 = GetTickCount();
  const int rc = imager->establishLink();
  const DWORD linkMs = GetTickCount() - t0;
  std::printf("Imager link: %d (%s), %lu ms\n", rc, LinkResultText(rc),
              static_cast<unsigned long>(linkMs));
  if (rc == 0 || rc == 205 || rc == 206) {
    // 205 and 206 still leave the object linked.
    std::printf("  The link of an interlaced sensor includes one timed full-field read;\n"
                "  that read is most of the %lu ms above.\n", static_cast<unsigned long>(linkMs));
    PrintGeometry(*imager, kWhichImaging);
  }
#if !defined(_WIN32)
  if (rc == 0) PrintSimulatedCamera(o.slot < 0 ? 0 : o.slot);
#endif

  int result = rc == 0 ? 0 : 3;
  std::unique_ptr<CameraObject> guider;
  if (o.guideHead && rc == 0) {
    // The second object keeps its attached-guider default and so links to
    // the guide head of the camera the imager dialog chose.
    guider = plugin.allocObject();
    if (!guider) {
      std::fprintf(stderr, "error: AllocObject returned no second object\n");
      result = 2;
    } else {
      const int grc = guider->establishLink();
      std::printf("Guide head link (attached guider): %d (%s)\n", grc, LinkResultText(grc));
      if (grc == 0) {
        PrintGeometry(*guider, kWhichTracking);
      } else {
        std::fprintf(stderr, "error: the guide head did not link%s\n",
                     grc == 203 ? " (no guide head, or the camera did not answer)" : "");
        result = 3;
      }
    }
  }

  if (guider) std::printf("Guide head disconnect: %d\n", guider->disconnect(0));
  std::printf("Imager disconnect: %d%s\n", imager->disconnect(o.coolerOff ? 1 : 0),
              o.coolerOff ? " (cooler left off)" : "");
  if (rc != 0)
    std::fprintf(stderr, "error: the camera did not link (CCEstablishLink returned %d, %s)\n", rc,
                 LinkResultText(rc));
  return result;
}

}  // namespace

void AddLinkCommand(CLI::App& app, HostContext& ctx) {
  static LinkOptions storage;  // the callback runs after this returns
  LinkOptions* options = &storage;
  CLI::App* cmd = app.add_subcommand(
      "link", "Link to a camera, show what the plug-in reports about it, and disconnect");
  cmd->add_option("-s,--slot", options->slot,
                  "Camera to link, as its position in the settings dialog's camera list "
                  "(chosen through the imager settings dialog)")
      ->check(CLI::Range(0, 3));
  cmd->add_option("-m,--mode", options->mode,
                  "Imaging mode chosen in the settings dialog: 0 automatic, 1 progressive, "
                  "2 fast, 3 interlaced")
      ->check(CLI::Range(0, 3));
  cmd->add_flag("-g,--guide-head", options->guideHead,
                "Also link the camera's guide head through a second object (attached guider)");
  cmd->add_flag("--cooler-off", options->coolerOff,
                "Ask the disconnect to leave the cooler switched off");
  cmd->callback([&ctx, options]() {
    const int rc = RunLink(ctx, *options);
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}
