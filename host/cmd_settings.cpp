// `settings imager` / `settings guider`: shows the plug-in's settings dialog
// for the imaging or the tracking CCD, then shows what the object does with
// the choice by linking it.
//
// On Windows the real dialog appears. In the native build the dialog runs in
// the stand-in's headless dialog manager and is drawn in the terminal; the
// user answers on stdin, or the answers come from --answer options.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "camera_plugin_api.h"
#include "commands.h"

#if !defined(_WIN32)
#include "dialogs/dialog_manager.h"
#include "world.h"
#endif

namespace {

#if !defined(_WIN32)

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

const char kCommands[] =
    "  <label>          click the button, radio button or box with this text (ok, cancel,\n"
    "                   refresh, ?, use ao, pellion, other imager, ...)\n"
    "  click <id>       click the control with this id\n"
    "  pick <id> <n>    choose entry n (from 0) of the list with this id\n"
    "  esc              close the dialog as the Esc key does\n"
    "  show             draw the dialog again\n";

// Carries out one answer; false when it meant nothing or could not be done.
bool Act(cvdlg::Dialog& d, const std::string& answer) {
  std::string a = Trim(answer);
  std::string l = Lower(a);
  int id = 0, index = 0;
  char extra = 0;
  if (l == "esc" || l == "escape") return d.pressEscape();
  if (l == "show") {
    std::printf("%s", d.render().c_str());
    return true;
  }
  if (l == "help") {
    std::printf("%s", kCommands);
    return true;
  }
  if (std::sscanf(l.c_str(), "pick %d %d %c", &id, &index, &extra) == 2) return d.choose(id, index);
  if (std::sscanf(l.c_str(), "click %d %c", &id, &extra) == 1) return d.click(id);
  for (const cvdlg::ControlView& c : d.controls()) {
    bool clickable = c.kind == cvdlg::ControlKind::PushButton ||
                     c.kind == cvdlg::ControlKind::DefPushButton ||
                     c.kind == cvdlg::ControlKind::RadioButton ||
                     c.kind == cvdlg::ControlKind::CheckBox;
    if (clickable && Lower(Trim(c.text)) == l) return d.click(c.id);
  }
  return false;
}

// Plays the dialog in the terminal: draws it, takes the scripted answers
// first, then lines from stdin; at the end of the input the dialog is
// closed as with Esc.
void RunInTerminal(cvdlg::Dialog& d, const std::vector<std::string>& answers, size_t* next) {
  std::printf("%s", d.render().c_str());
  while (!d.ended()) {
    std::string line;
    if (*next < answers.size()) {
      line = answers[(*next)++];
      std::printf("> %s\n", line.c_str());
    } else {
      std::printf("> ");
      std::fflush(stdout);
      if (!std::getline(std::cin, line)) {
        std::printf("(end of input: closing the dialog)\n");
        d.pressEscape();
        break;
      }
    }
    if (Trim(line).empty()) continue;
    if (!Act(d, line)) {
      std::printf("Nothing done: \"%s\" names no enabled control (try \"help\").\n",
                  Trim(line).c_str());
      continue;
    }
    if (!d.ended() && Lower(Trim(line)) != "show" && Lower(Trim(line)) != "help")
      std::printf("%s", d.render().c_str());
  }
}

#endif  // !_WIN32

}  // namespace

void AddSettingsCommand(CLI::App& app, HostContext& ctx) {
  static std::string which;
  static std::vector<std::string> answers;
  CLI::App* cmd = app.add_subcommand(
      "settings",
      "Show the settings dialog of the imager (imaging CCD, first object) or the guider "
      "(tracking CCD, second object), then link the object to show what it will use.\n"
      "Settings live only as long as this process: a later invocation starts from the "
      "plug-in's defaults again.");
  cmd->add_option("role", which, "imager or guider")
      ->required()
      ->check(CLI::IsMember({"imager", "guider"}));
#if !defined(_WIN32)
  cmd->add_option("--answer", answers,
                  "An answer to the dialog, as typed at its prompt (e.g. \"pick 206 1\", \"ok\"); "
                  "repeatable, used before stdin is read")
      ->take_all();
#endif
  cmd->callback([&ctx]() {
    ctx.prepareWorld();
    CameraPlugin plugin;
    std::string error;
    if (!plugin.load(ctx.cameraPluginPath, &error)) throw CLI::RuntimeError("error: " + error, 2);
    // The host's usual pair: the first object is the imager, the second the
    // guider (only the second may drive an attached guide head).
    auto imager = plugin.allocObject();
    auto guider = plugin.allocObject();
    if (!imager || !guider) throw CLI::RuntimeError("error: AllocObject returned no object", 2);
    CameraObject& object = which == "imager" ? *imager : *guider;
    const int sensor = which == "imager" ? kWhichImaging : kWhichTracking;

#if !defined(_WIN32)
    size_t next = 0;
    cvdlg::setDialogHandler([&next](cvdlg::Dialog& d) { RunInTerminal(d, answers, &next); });
    cvworld::World::instance().setMessageBoxHandler([](const cvworld::MessageBoxRecord& box) {
      std::printf("+-- message box: %s --\n%s\n+-- <OK>\n", box.caption.c_str(), box.text.c_str());
      return IDOK;
    });
#endif
    int result = object.settings(sensor);
#if !defined(_WIN32)
    cvdlg::setDialogHandler(nullptr);
    cvworld::World::instance().setMessageBoxHandler(nullptr);
#endif
    std::printf("CCSettings returned %d\n", result);

    // What was stored shows in what the object does next.
    int link = object.establishLink();
    std::printf("Link with the stored choice: %d%s\n", link,
                link == 0 ? " (linked)" : link == 203 ? " (camera not reachable)" : "");
    if (link == 0) object.disconnect(0);
  });
}
