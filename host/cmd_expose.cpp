// `expose`: one exposure in the host application's calling order, the image
// unpacked from the host buffer and saved (FITS and a PNG preview natively;
// a raw file with a text header on Windows, which lacks those libraries).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "camera_plugin_api.h"
#include "commands.h"
#include "device_listing.h"
#include "frame_files.h"
#include "product_table.h"
#include "win32.h"

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void OnInterrupt(int) { g_interrupted = 1; }

struct ExposeOptions {
  double seconds = 1.0;
  std::string type = "light";
  std::string mode;  // empty: leave the plug-in's imaging mode as it is
  int bin = 0;       // 0: take the bin factors from --bin-index
  int binIndex = 0;
  std::vector<int> subframe;  // left, top, right, bottom
  bool guider = false;
  std::string output = ".";
  std::string name;
  bool noPreview = false;
};

// Imaging modes as the imager dialog lists them: its list index is the value.
struct ModeName {
  const char* option;
  int index;
  const char* header;
};
constexpr ModeName kModes[] = {{"automatic", 0, "Automatic"},
                               {"progressive", 1, "Progressive"},
                               {"fast", 2, "Fast"},
                               {"interlaced", 3, "Interlaced"}};

struct PictureType {
  const char* option;
  int code;
  const char* header;
};
constexpr PictureType kTypes[] = {{"light", 1, "Light Frame"},
                                  {"dark", 2, "Dark Frame"},
                                  {"bias", 3, "Bias Frame"},
                                  {"flat", 4, "Flat Field"}};

constexpr int kEFail = static_cast<int>(0x80004005u);

uint64_t Pad8(uint64_t v) { return (v + 7) & ~uint64_t{7}; }

std::string UtcIso(std::chrono::system_clock::time_point t) {
  using namespace std::chrono;
  auto ms = duration_cast<milliseconds>(t.time_since_epoch()).count();
  std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
#if defined(_WIN32)
  gmtime_s(&utc, &seconds);
#else
  gmtime_r(&seconds, &utc);
#endif
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(ms % 1000));
  return text;
}

// Seconds on the tick clock the plug-in times with (virtual in a simulated
// world on the virtual clock) and on the wall clock.
class StepTimer {
 public:
  StepTimer() : tick_(GetTickCount()), wall_(std::chrono::steady_clock::now()) {}
  double tickSeconds() const { return static_cast<uint32_t>(GetTickCount() - tick_) / 1000.0; }
  double wallSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_).count();
  }
  std::string describe() const {
    char text[80];
    double t = tickSeconds(), w = wallSeconds();
    if (std::fabs(t - w) > 0.05 + 0.05 * w)
      std::snprintf(text, sizeof text, "%.3f s on the camera clock, %.3f s real", t, w);
    else
      std::snprintf(text, sizeof text, "%.3f s", w);
    return text;
  }

 private:
  DWORD tick_;
  std::chrono::steady_clock::time_point wall_;
};

// What the host knows of the camera in slot 0 from the driver's listing and
// the product table: its name and model code, hence its scan type.
struct CameraFacts {
  std::string name = "unknown camera";
  int model = 0;
  bool interlaced = false;
};

CameraFacts LookUpCamera() {
  CameraFacts facts;
  std::string error;
  std::vector<ListedCamera> cameras = ListDriverInterfaces(&error);
  if (cameras.empty() || !cameras[0].makers) return facts;
  const ListedCamera& c = cameras[0];
  if (!c.name.empty()) facts.name = c.name;
  facts.model = c.modelCode;
  facts.interlaced = ((facts.model & 0x40) != 0 || facts.model == 132) &&
                     !(facts.model >= 86 && facts.model <= 89);
  return facts;
}

// The stride of the host buffer's rows, as image assembly lays them out for
// 16-bit samples: rows at multiples of 8 bytes, the Fast mode's at multiples
// of 8 pixels, and model 90's two-field frames without any gap.
uint64_t RowStride(const CameraFacts& camera, bool guideHead, int imagingMode, int width) {
  uint64_t bytes = 2ull * static_cast<uint64_t>(width);
  if (guideHead || !camera.interlaced) return Pad8(bytes);
  if (imagingMode == 2) return 2 * Pad8(static_cast<uint64_t>(width));  // Fast
  if (camera.model == 90) return bytes;  // two fields, rows without gaps
  return Pad8(bytes);
}

class Session {
 public:
  Session(HostContext& ctx, const ExposeOptions& o) : ctx_(ctx), o_(o) {}
  int run();

 private:
  bool fail(const std::string& message) {
    std::fprintf(stderr, "error: %s\n", message.c_str());
    return false;
  }
  bool setImagingMode(CameraObject& object, int mode);
  bool expose(CameraObject& object, int which);

  HostContext& ctx_;
  ExposeOptions o_;
  CameraPlugin plugin_;
  CameraFacts camera_;
  int imagingMode_ = 0;
  const PictureType* type_ = nullptr;
  const ModeName* mode_ = nullptr;
};

bool Session::setImagingMode(CameraObject& object, int mode) {
#if defined(_WIN32)
  (void)object;
  (void)mode;
  return fail("--mode needs the imager settings dialog on Windows (`settings`)");
#else
  // The native plug-in exports a helper for this; loading the same path
  // again returns the library already loaded.
  static PluginLibrary hooks;
  std::string error;
  if (!hooks.loaded() && !hooks.load(ctx_.cameraPluginPath, &error)) return fail(error);
  auto set = reinterpret_cast<void (*)(void*, int)>(hooks.symbol("CvTestSetImagingMode"));
  if (!set) return fail("this camera plug-in has no way to set the imaging mode from the host");
  set(object.raw(), mode);
  return true;
#endif
}

int Session::run() {
  for (const PictureType& t : kTypes)
    if (o_.type == t.option) type_ = &t;
  if (!type_) return fail("--type must be light, dark, bias or flat"), 2;
  if (!o_.mode.empty()) {
    for (const ModeName& m : kModes)
      if (o_.mode == m.option) mode_ = &m;
    if (!mode_) return fail("--mode must be automatic, progressive, fast or interlaced"), 2;
  }
  if (!(o_.seconds >= 0) || o_.seconds > 86400.0)
    return fail("--time must lie between 0 and 86400 seconds"), 2;
  if (o_.bin != 0 && o_.bin != 1 && o_.bin != 2 && o_.bin != 4)
    return fail("--bin must be 1, 2 or 4"), 2;
  if (!o_.subframe.empty() && o_.subframe.size() != 4)
    return fail("--subframe takes left,top,right,bottom"), 2;

  ctx_.prepareWorld();
  std::string error;
  if (!plugin_.load(ctx_.cameraPluginPath, &error)) return fail(error), 2;
  camera_ = LookUpCamera();

  // The first object of the process is the imager; a guider is the second
  // object, linked after it, and drives the imager camera's guide head while
  // its attached-guider flag keeps its default.
  std::unique_ptr<CameraObject> imager = plugin_.allocObject();
  if (!imager) return fail("AllocObject returned no object"), 2;
  if (mode_) {
    imagingMode_ = mode_->index;
    if (!setImagingMode(*imager, mode_->index)) return 2;
  }
  StepTimer linkTimer;
  int rc = imager->establishLink();
  if (rc != 0) {
    imager->disconnect(0);
    return fail("the camera did not link (CCEstablishLink returned " + std::to_string(rc) +
                ")"),
           3;
  }
  std::printf("Linked %s (model %d, %s) in %s\n", camera_.name.c_str(), camera_.model,
              camera_.interlaced ? "interlaced" : "progressive", linkTimer.describe().c_str());

  std::unique_ptr<CameraObject> guider;
  if (o_.guider) {
    guider = plugin_.allocObject();
    if (!guider) return fail("AllocObject returned no second object"), 2;
    rc = guider->establishLink();
    if (rc != 0) {
      guider->disconnect(0);
      imager->disconnect(0);
      return fail("the guide head did not link (CCEstablishLink returned " + std::to_string(rc) +
                  ")"),
             3;
    }
    std::printf("Linked the guide head as attached guider\n");
  }

  bool ok = o_.guider ? expose(*guider, kWhichTracking) : expose(*imager, kWhichImaging);
  if (guider) guider->disconnect(0);
  imager->disconnect(0);
  return ok ? 0 : (g_interrupted ? 130 : 4);
}

bool Session::expose(CameraObject& object, int which) {
  const bool guideHead = which != kWhichImaging;
  long binX = 1, binY = 1;
  if (o_.bin != 0) {
    binX = binY = o_.bin;
  } else {
    int count = 0;
    object.numBins(which, &count);
    if (o_.binIndex < 0 || o_.binIndex >= count)
      return fail("--bin-index must lie between 0 and " + std::to_string(count - 1));
    object.binSizeFromIndex(which, o_.binIndex, &binX, &binY);
    if (binX < 1 || binY < 1 || binX > 255 || binY > 255)
      return fail("the plug-in gave no usable bin factors for that index");
  }

  int chipW = 0, chipH = 0;
  object.chipSize(which, static_cast<int>(binX), static_cast<int>(binY), &chipW, &chipH);
  if (chipW <= 0 || chipH <= 0) return fail("the plug-in reports an empty chip");
  int left = 0, top = 0, right = chipW, bottom = chipH;
  if (!o_.subframe.empty()) {
    left = o_.subframe[0];
    top = o_.subframe[1];
    right = o_.subframe[2];
    bottom = o_.subframe[3];
    if (left < 0 || top < 0 || right > chipW || bottom > chipH || right <= left || bottom <= top)
      return fail("--subframe must lie within the " + std::to_string(chipW) + " x " +
                  std::to_string(chipH) + " chip at this binning, with right > left and "
                  "bottom > top");
  }
  const int w = right - left, h = bottom - top;
  object.setBinnedSubFrame(which, left, top, right, bottom);

  FrameHeader header;
  header.exposureSeconds = o_.seconds;
  header.imageType = type_->header;
  header.xBinning = static_cast<int>(binX);
  header.yBinning = static_cast<int>(binY);
  header.xOrigin = left;
  header.yOrigin = top;
  header.instrument = guideHead ? camera_.name + " guide head" : camera_.name;
  header.readoutMode = guideHead ? "Progressive" : mode_ ? mode_->header : kModes[imagingMode_].header;
  {
    double temperature = NAN, second = 0, setpoint = NAN;
    char status[64] = {0};
    int state = 0;
    if (object.queryTemperature(&temperature, &second, status, sizeof status, &state,
                                &setpoint) == 0 &&
        std::isfinite(temperature) && std::isfinite(setpoint)) {
      header.haveTemperature = true;
      header.ccdTemperature = temperature;
      header.setTemperature = setpoint;
    }
  }

  std::printf("Exposing %s: %.3f s %s, %d x %d at bin %ldx%ld from (%d, %d), mode %s\n",
              guideHead ? "the guide head" : "the imaging CCD", o_.seconds, type_->option, w, h,
              binX, binY, left, top, header.readoutMode.c_str());
  std::fflush(stdout);

  g_interrupted = 0;
  auto previous = std::signal(SIGINT, OnInterrupt);
  StepTimer exposureTimer;
  header.dateObs = UtcIso(std::chrono::system_clock::now());
  int rc = object.startExposure(which, o_.seconds, type_->code, 0);
  if (rc != 0) {
    std::signal(SIGINT, previous);
    return fail(rc == kEFail ? "the plug-in refused the picture type"
                             : "CCStartExposure returned " + std::to_string(rc));
  }
  // Poll as the host does; show progress on exposures that take a while.
  const bool showProgress = o_.seconds >= 2.0;
  int complete = 0;
  int lastShown = -1;
  while (true) {
    object.isExposureComplete(which, &complete);
    if (complete) break;
    if (g_interrupted) {
      std::printf("%s", showProgress ? "\n" : "");
      std::printf("Interrupted: ending the exposure and discarding it\n");
      object.endExposure(which, 1, 0);
      std::signal(SIGINT, previous);
      return false;
    }
    if (showProgress) {
      int elapsed = static_cast<int>(exposureTimer.tickSeconds());
      if (elapsed != lastShown) {
        lastShown = elapsed;
        std::printf("\r  %d / %.0f s", elapsed, o_.seconds);
        std::fflush(stdout);
      }
    }
    Sleep(o_.seconds < 1.0 ? 5 : 50);
  }
  if (showProgress) std::printf("\r  %.0f / %.0f s\n", o_.seconds, o_.seconds);
  object.endExposure(which, 0, 0);
  std::signal(SIGINT, previous);
  std::printf("  exposed in %s\n", exposureTimer.describe().c_str());

  // The host buffer, sized by the stride contract of image assembly.
  const uint64_t stride = RowStride(camera_, guideHead, imagingMode_, w);
  const uint64_t bufferBytes = stride * static_cast<uint64_t>(h) + 2ull * Pad8(w) + 16;
  if (bufferBytes > (1ull << 31)) return fail("the frame is too large for the host buffer");
  std::vector<unsigned char> buffer(static_cast<size_t>(bufferBytes), 0);

  StepTimer readTimer;
  object.beforeDownload(which);
  rc = object.readoutImage(which, w, h, buffer.data());
  object.afterDownload(which);
  if (rc != 0) return fail("the image was not read (CCReadoutImage returned " +
                           std::to_string(rc) + ")");
  std::printf("  read out %d x %d in %s (row stride %llu bytes)\n", w, h,
              readTimer.describe().c_str(), static_cast<unsigned long long>(stride));

  Frame frame;
  frame.width = w;
  frame.height = h;
  frame.pixels.resize(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    const unsigned char* row = buffer.data() + stride * static_cast<uint64_t>(y);
    for (int x = 0; x < w; ++x)
      frame.pixels[static_cast<size_t>(y) * w + x] =
          static_cast<uint16_t>(row[2 * x] | (row[2 * x + 1] << 8));
  }

  std::string base = o_.name;
  if (base.empty()) {
    base = std::string(guideHead ? "guider" : "imager") + "-" + type_->option;
    if (!guideHead) base += "-" + std::string(mode_ ? mode_->option : kModes[imagingMode_].option);
  }
  std::string dir = o_.output.empty() ? std::string(".") : o_.output;
  if (dir.back() != '/' && dir.back() != '\\') dir += '/';
  std::string error;
  std::error_code fsError;
  std::filesystem::create_directories(std::filesystem::path(o_.output.empty() ? "." : o_.output),
                                      fsError);
  if (fsError) return fail("cannot create " + o_.output + ": " + fsError.message());
  StepTimer saveTimer;
  if (FitsAndPngAvailable()) {
    if (!WriteFits(dir + base + ".fits", frame, header, &error)) return fail(error);
    std::printf("  wrote %s%s.fits", dir.c_str(), base.c_str());
    if (!o_.noPreview) {
      if (!WritePngPreview(dir + base + ".png", frame, &error)) return fail(error);
      std::printf(" and %s.png", base.c_str());
    }
    std::printf(" in %s\n", saveTimer.describe().c_str());
  } else {
    if (!WriteRawWithHeader(dir + base + ".raw", dir + base + ".txt", frame, header, &error))
      return fail(error);
    std::printf("  wrote %s%s.raw (16-bit little-endian) and its header %s.txt; "
                "this build has no FITS or PNG writer\n",
                dir.c_str(), base.c_str(), base.c_str());
  }
  uint16_t lo = 65535, hi = 0;
  double sum = 0;
  for (uint16_t v : frame.pixels) {
    lo = std::min(lo, v);
    hi = std::max(hi, v);
    sum += v;
  }
  std::printf("  pixels: min %u, mean %.1f, max %u\n", lo, sum / frame.pixels.size(), hi);
  return true;
}

}  // namespace

void AddExposeCommand(CLI::App& app, HostContext& ctx) {
  auto options = std::make_shared<ExposeOptions>();
  CLI::App* cmd = app.add_subcommand(
      "expose", "Link the camera in slot 0, take one exposure and save it (FITS and PNG)");
  cmd->add_option("-t,--time", options->seconds, "Exposure time, seconds")->capture_default_str();
  cmd->add_option("--type", options->type, "Frame type: light, dark, bias or flat")
      ->capture_default_str();
  cmd->add_option("-m,--mode", options->mode,
                  "Imaging mode: automatic, progressive, fast or interlaced (as in the imager "
                  "settings dialog; default: the plug-in's, automatic)");
  cmd->add_option("-b,--bin", options->bin, "Bin factor 1, 2 or 4 (both axes)");
  cmd->add_option("--bin-index", options->binIndex,
                  "Bin factors by the plug-in's index 0..2 (CCGetBinSizeFromIndex), when --bin "
                  "is not given")
      ->capture_default_str();
  cmd->add_option("-s,--subframe", options->subframe,
                  "left,top,right,bottom in binned pixels (default: the whole chip)")
      ->delimiter(',')
      ->expected(4);
  cmd->add_flag("-g,--guider", options->guider,
                "Expose the guide head of the camera through a second object (attached guider)");
  cmd->add_option("-o,--output", options->output, "Directory for the files")->capture_default_str();
  cmd->add_option("-n,--name", options->name,
                  "Base name of the files (default: imager-TYPE-MODE or guider-TYPE)");
  cmd->add_flag("--no-preview", options->noPreview, "Write no PNG preview");
  cmd->callback([&ctx, options]() {
    Session session(ctx, *options);
    int rc = session.run();
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}
