// `wheel`: drives the filter wheel plug-in through its ten exports.
//
// The library is loaded from ctx.wheelPluginPath at run time (by ordinal on
// Windows, by name elsewhere), never linked. Each run of the program is one
// plug-in session: the library's connect state lives only in this process.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#if !defined(_WIN32)
#include <thread>
#endif

#include "commands.h"
#include "plugin_library.h"
#include "win32.h"

#if !defined(_WIN32)
#include <unistd.h>

#include "sim_wheel.h"
#include "world.h"
#endif

namespace {

struct WheelApi {
  int (*getDeviceName)(char*, int) = nullptr;
  int (*getDeviceId)(int*) = nullptr;
  int (*getDllVersion)() = nullptr;
  int (*connect)() = nullptr;
  int (*isConnected)(int*) = nullptr;
  int (*disconnect)() = nullptr;
  int (*getNumberFilters)(int*) = nullptr;
  int (*moveTo)(int) = nullptr;
  int (*settings)() = nullptr;
  int (*getDescription)(char*, int) = nullptr;
  // Native build only: the library's own way to set the debug log.
  void (*setDebugLog)(FILE*) = nullptr;
  PluginLibrary library;

  template <class F>
  void Resolve(F& fn, unsigned ordinal, const char* name, std::string* missing) {
#if defined(_WIN32)
    (void)name;
    fn = reinterpret_cast<F>(library.ordinal(ordinal));
#else
    (void)ordinal;
    fn = reinterpret_cast<F>(library.symbol(name));
#endif
    if (!fn) *missing += std::string(" ") + name;
  }

  bool Load(const std::string& path, std::string* error) {
    if (!library.load(path, error)) return false;
    std::string missing;
    Resolve(getDeviceName, 21, "DynDrvrGetDeviceName", &missing);
    Resolve(getDeviceId, 22, "DynDrvrGetDeviceId", &missing);
    Resolve(getDllVersion, 30, "cfwapiGetDLLVersion", &missing);
    Resolve(connect, 40, "cfwapiConnect", &missing);
    Resolve(isConnected, 50, "cfwapiIsConnected", &missing);
    Resolve(disconnect, 60, "cfwapiDisconnect", &missing);
    Resolve(getNumberFilters, 70, "cfwapiGetNumberFilters", &missing);
    Resolve(moveTo, 80, "cfwapiMoveTo", &missing);
    Resolve(settings, 90, "cfwapiSettings", &missing);
    Resolve(getDescription, 100, "cfwapiGetDescription", &missing);
#if !defined(_WIN32)
    setDebugLog = reinterpret_cast<void (*)(FILE*)>(library.symbol("CvWheelSetDebugLog"));
#endif
    if (!missing.empty()) {
      *error = path + " lacks" + missing;
      return false;
    }
    return true;
  }
};

const char* ResultText(int code) {
  switch (code) {
    case 0: return "ok";
    case 1401: return "no wheel found";
    case 1402: return "time-out waiting for the wheel's count";
    case 1403: return "the wheel's count is neither 5 nor 7";
    case 1404: return "time-out waiting for the wheel to arrive";
    default: return "unexpected result";
  }
}

struct Options {
  std::string logPath;
  std::string answer;   // settings: yes, no, cancel; empty: ask in the terminal
  int position = 0;     // move: 0-based, as the plug-in takes it
  bool unidirectional = false;
};

#if !defined(_WIN32)
// The simulated wheel behind the stand-in, if the command line attached one.
std::shared_ptr<cvsim::SimWheel> SimulatedWheel() {
  for (const auto& i : cvworld::World::instance().present(cvworld::kHidClass))
    if (auto w = std::dynamic_pointer_cast<cvsim::SimWheel>(i.device)) return w;
  return nullptr;
}

int AnswerCode(const std::string& answer) {
  if (answer == "yes") return IDYES;
  if (answer == "no") return IDNO;
  return IDCANCEL;
}

// The message box, in the terminal: y, n or c; end of input closes it.
int AskInTerminal(const cvworld::MessageBoxRecord& box) {
  std::printf("+-- %s --\n%s\n+-- [y]es / [n]o / [c]ancel? ", box.caption.c_str(),
              box.text.c_str());
  std::fflush(stdout);
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && (line[0] == 'y' || line[0] == 'Y')) return IDYES;
    if (!line.empty() && (line[0] == 'n' || line[0] == 'N')) return IDNO;
    if (!line.empty() && (line[0] == 'c' || line[0] == 'C')) return IDCANCEL;
    std::printf("y, n or c? ");
    std::fflush(stdout);
  }
  std::printf("(closed)\n");
  return IDCANCEL;
}
#endif

class Session {
 public:
  Session(HostContext& ctx, const Options& options) : ctx_(ctx), options_(options) {}

  void Open() {
    ctx_.prepareWorld();
    std::string error;
    if (!api_.Load(ctx_.wheelPluginPath, &error)) throw CLI::RuntimeError("error: " + error, 2);
    if (!options_.logPath.empty()) {
      if (!api_.setDebugLog) {
        std::fprintf(stderr, "note: this build of the library has no way to set a debug log; "
                             "--log is ignored\n");
      } else {
        FILE* f = std::fopen(options_.logPath.c_str(), "w");
        if (!f) throw CLI::RuntimeError("error: cannot write " + options_.logPath, 2);
        api_.setDebugLog(f);  // the library closes it at cfwapiDisconnect
      }
    }
    if (ctx_.verbose) {
      char name[64];
      int id = 0;
      api_.getDeviceName(name, sizeof name);
      api_.getDeviceId(&id);
      std::printf("%s, id %d, version %d\n", name, id, api_.getDllVersion());
    }
  }

  int Connect() {
    uint32_t t0 = GetTickCount();
    int r = api_.connect();
    uint32_t ms = GetTickCount() - t0;
    std::printf("cfwapiConnect: %d (%s) after %u ms\n", r, ResultText(r), ms);
    int connected = 0;
    api_.isConnected(&connected);
    if (ctx_.verbose) std::printf("cfwapiIsConnected: %d\n", connected);
    return r;
  }

  int Count(int* count) {
    int r = api_.getNumberFilters(count);
    std::printf("cfwapiGetNumberFilters: %d (%s), %d filters\n", r, ResultText(r), *count);
    return r;
  }

  void SetMotion(bool unidirectional) {
#if !defined(_WIN32)
    cvworld::World::instance().queueMessageBoxAnswer(unidirectional ? IDNO : IDYES);
#else
    std::printf("answer the message box: %s\n", unidirectional ? "No" : "Yes");
#endif
    api_.settings();
    std::printf("motion: %s\n", unidirectional ? "unidirectional" : "bidirectional");
  }

  int Settings() {
#if !defined(_WIN32)
    if (!options_.answer.empty())
      cvworld::World::instance().queueMessageBoxAnswer(AnswerCode(options_.answer));
    else
      cvworld::World::instance().setMessageBoxHandler(AskInTerminal);
#else
    if (!options_.answer.empty())
      std::printf("note: the message box is the system's own here; answer it yourself\n");
#endif
    int r = api_.settings();
#if !defined(_WIN32)
    cvworld::World::instance().setMessageBoxHandler(nullptr);
    auto boxes = cvworld::World::instance().messageBoxes();
    if (!boxes.empty()) {
      int a = boxes.back().answer;
      std::printf("answered %s: %s\n", a == IDYES ? "Yes" : a == IDNO ? "No" : "Cancel",
                  a == IDYES ? "bidirectional" : a == IDNO ? "unidirectional" : "mode unchanged");
    }
#endif
    std::printf("cfwapiSettings: %d; the mode holds for moves in this process only\n", r);
    return r;
  }

  // The plug-in call blocks until the wheel arrives or time is up; a second
  // thread shows progress meanwhile.
  int Move(int position) {
    std::printf("moving to filter %d (wheel position %d)\n", position, position + 1);
    uint32_t t0 = GetTickCount();
#if defined(_WIN32)
    // The win32-thread-model runtime has no std::thread: before and after only.
    int r = api_.moveTo(position);
#else
    std::atomic<bool> done{false};
    std::thread progress([&]() { ShowProgress(done, t0); });
    int r = api_.moveTo(position);
    done.store(true);
    progress.join();
#endif
    uint32_t ms = GetTickCount() - t0;
    if (progressOnTty_) std::printf("\r%40s\r", "");
    std::printf("cfwapiMoveTo(%d): %d (%s) after %u ms\n", position, r, ResultText(r), ms);
    return r;
  }

  void Disconnect() {
    int r = api_.disconnect();
    int connected = 0;
    api_.isConnected(&connected);
    std::printf("cfwapiDisconnect: %d; cfwapiIsConnected: %d\n", r, connected);
  }

 private:
#if !defined(_WIN32)
  void ShowProgress(const std::atomic<bool>& done, uint32_t t0) {
    static const char kSpinner[] = "|/-\\";
    int turn = 0;
#if !defined(_WIN32)
    auto wheel = SimulatedWheel();
#endif
    bool tty = false;
#if !defined(_WIN32)
    tty = isatty(STDOUT_FILENO);
#endif
    progressOnTty_ = tty;
    int last = -1;
    while (!done.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (done.load()) break;
      uint32_t ms = GetTickCount() - t0;
#if !defined(_WIN32)
      if (wheel) {
        int p = wheel->position();
        if (tty)
          std::printf("\r  %c position %d  %6u ms", kSpinner[turn++ & 3], p, ms);
        else if (p != last)
          std::printf("  position %d at %u ms\n", p, ms);
        last = p;
        std::fflush(stdout);
        continue;
      }
#endif
      if (tty) {
        std::printf("\r  %c %6u ms", kSpinner[turn++ & 3], ms);
        std::fflush(stdout);
      }
      (void)last;
    }
  }
#endif

  HostContext& ctx_;
  const Options& options_;
  bool progressOnTty_ = false;
  WheelApi api_;
};

}  // namespace

void AddWheelCommand(CLI::App& app, HostContext& ctx) {
  static Options options;
  CLI::App* wheel = app.add_subcommand(
      "wheel",
      "Drive the filter wheel plug-in.\n"
      "Each run of this program is one plug-in session: the library's connection does not "
      "survive between runs, so `count`, `move` and `cycle` connect first, and the motion mode "
      "chosen with `settings` lasts only for the run (moves take --unidirectional instead).");
  wheel->require_subcommand(1);
  wheel->add_option("--log", options.logPath,
                    "Write the plug-in's debug log to this file (native build)");

  auto fail = [](int code) {
    if (code != 0) throw CLI::RuntimeError(code == 1401 ? 3 : 4);
  };

  wheel->add_subcommand("connect", "Find the wheel and read its number of filters")
      ->callback([&ctx, fail]() {
        Session s(ctx, options);
        s.Open();
        fail(s.Connect());
      });

  wheel->add_subcommand("count", "Connect, then report the number of filters")
      ->callback([&ctx, fail]() {
        Session s(ctx, options);
        s.Open();
        int r = s.Connect();
        if (r == 1401) fail(r);
        int count = 0;
        fail(s.Count(&count));
      });

  CLI::App* move = wheel->add_subcommand(
      "move", "Connect, then turn the wheel to filter N (0-based; the wheel counts from 1)");
  move->add_option("N", options.position, "Filter position, 0-based")->required();
  move->add_flag("--unidirectional", options.unidirectional,
                 "Always turn forward (answers the settings box with No first)");
  move->callback([&ctx, fail]() {
    Session s(ctx, options);
    s.Open();
    int r = s.Connect();
    if (r == 1401) fail(r);
    if (options.unidirectional) s.SetMotion(true);
    fail(s.Move(options.position));
  });

  CLI::App* settings = wheel->add_subcommand(
      "settings", "Ask for the motion mode (Yes: bidirectional, No: unidirectional)");
#if !defined(_WIN32)
  settings->add_option("--answer", options.answer,
                       "Answer the box without asking; otherwise the terminal asks")
      ->check(CLI::IsMember({"yes", "no", "cancel"}));
#endif
  settings->callback([&ctx]() {
    Session s(ctx, options);
    s.Open();
    s.Settings();
  });

  wheel->add_subcommand("disconnect",
                        "End the session: close the wheel and the debug log (a fresh run holds "
                        "no connection, so this shows the state after disconnecting)")
      ->callback([&ctx]() {
        Session s(ctx, options);
        s.Open();
        s.Disconnect();
      });

  CLI::App* cycle =
      wheel->add_subcommand("cycle", "Connect, move through every filter and back to the first, "
                                     "disconnect");
  cycle->add_flag("--unidirectional", options.unidirectional, "Always turn forward");
  cycle->callback([&ctx, fail]() {
    Session s(ctx, options);
    s.Open();
    int r = s.Connect();
    if (r != 0) {
      s.Disconnect();
      fail(r);
    }
    int count = 0;
    s.Count(&count);
    if (options.unidirectional) s.SetMotion(true);
    int worst = 0;
    for (int p = 1; p <= count; ++p) {
      int m = s.Move(p % count);
      if (m != 0) worst = m;
    }
    s.Disconnect();
    fail(worst);
  });
}
