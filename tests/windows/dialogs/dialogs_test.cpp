// The camera plug-in's two settings dialogs as Windows shows them: loads the
// real DLL, opens each dialog through slot 8 (CCSettings) of an object and,
// from a second thread, finds the dialog by its caption, reads its controls,
// acts on them as a user would and closes it. What OK stored is checked by
// opening the dialog again and by what the object's link does next.
//
// No camera is present under Wine. Screenshots are taken by the script
// named as the first argument (see run.sh).
//
// One line per check; at the end "N passed, N failed"; exit code 1 on any
// failure.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int g_passed = 0;
int g_failed = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "PASS" : "FAIL", what.c_str());
  std::fflush(stdout);
  (ok ? g_passed : g_failed)++;
}

void CheckEq(const std::string& got, const std::string& want, const std::string& what) {
  Check(got == want, what + " = \"" + got + "\"" + (got == want ? "" : " (want \"" + want + "\")"));
}

void CheckEq(long got, long want, const std::string& what) {
  Check(got == want, what + " = " + std::to_string(got) +
                         (got == want ? "" : " (want " + std::to_string(want) + ")"));
}

// ---- The plug-in object, called by slot as a host does ----

template <typename R, typename... Args>
R CallSlot(void* object, int index, Args... args) {
  void** table = *reinterpret_cast<void***>(object);
  using Fn = R(__attribute__((thiscall))*)(void*, Args...);
  return reinterpret_cast<Fn>(table[index])(object, args...);
}

const int kCamera = 10000;
const int kImaging = 0;
const int kTracking = 1;

int Settings(void* object, int which) {
  return CallSlot<int, const int&, const int&>(object, 8, kCamera, which);
}

int Link(void* object) {
  int address = 0, cameraOut = kCamera, status = 0;
  return CallSlot<int, int, const int&, int, int&, int, int&>(object, 9, 0, address, kCamera,
                                                              cameraOut, 0, status);
}

void Destroy(void* object) { CallSlot<void*, unsigned>(object, 0, 1u); }

// ---- Reading and working a dialog of another thread ----

const char kImagerCaption[] = "Cv Imager Settings      Beta Test Version";
const char kGuiderCaption[] = "Cv Guider Settings";
const char kHelpCaption[] = "Corvane Guider Selection Information";

HWND WaitForWindow(const char* caption, DWORD timeoutMs = 20000) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND w = FindWindowA(nullptr, caption);
    if (w && IsWindowVisible(w)) return w;
    if (GetTickCount() - start > timeoutMs) return nullptr;
    Sleep(20);
  }
}

bool WaitGone(HWND w, DWORD timeoutMs = 20000) {
  DWORD start = GetTickCount();
  while (IsWindow(w)) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

std::string Text(HWND dialog, int id) {
  char buf[512] = {0};
  GetWindowTextA(GetDlgItem(dialog, id), buf, sizeof buf);
  return buf;
}

std::string WindowText(HWND w) {
  char buf[512] = {0};
  GetWindowTextA(w, buf, sizeof buf);
  return buf;
}

LRESULT Send(HWND dialog, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  return SendMessageA(GetDlgItem(dialog, id), message, wParam, lParam);
}

std::vector<std::string> Items(HWND dialog, int id) {
  std::vector<std::string> out;
  LRESULT n = Send(dialog, id, CB_GETCOUNT);
  for (LRESULT i = 0; i < n; ++i) {
    char buf[256] = {0};
    Send(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
    out.push_back(buf);
  }
  return out;
}

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
bool Checked(HWND dialog, int id) { return Send(dialog, id, BM_GETCHECK) == BST_CHECKED; }
void Click(HWND dialog, int id) { Send(dialog, id, BM_CLICK); }

// Takes a screenshot of the whole (virtual) screen: runs the runner's
// shell script, a Unix program, which Wine starts natively; it writes
// NAME.png next to itself.
const char* g_shotScript = nullptr;

void Screenshot(const std::string& name) {
  if (!g_shotScript) {
    std::printf("note: no screenshot %s (no script given)\n", name.c_str());
    return;
  }
  std::string cmd = std::string("Z:\\bin\\sh ") + g_shotScript + " " + name;
  std::vector<char> line(cmd.begin(), cmd.end());
  line.push_back('\0');
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    std::printf("note: no screenshot %s (cannot start the script: error %lu)\n", name.c_str(),
                GetLastError());
    return;
  }
  WaitForSingleObject(pi.hProcess, 30000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  std::printf("note: screenshot %s.png\n", name.c_str());
}

// Runs CCSettings on this thread while `user` works the dialog on another.
struct UserJob {
  void (*user)(void*);
  void* arg;
};

DWORD WINAPI UserThread(LPVOID p) {
  UserJob* job = static_cast<UserJob*>(p);
  job->user(job->arg);
  return 0;
}

void ShowDialog(void* object, int which, void (*user)(void*), void* arg, const std::string& what) {
  UserJob job{user, arg};
  HANDLE t = CreateThread(nullptr, 0, UserThread, &job, 0, nullptr);
  int r = Settings(object, which);
  CheckEq(r, 0, what + ": CCSettings result");
  if (WaitForSingleObject(t, 30000) != WAIT_OBJECT_0) Check(false, what + ": user thread finished");
  CloseHandle(t);
}

const std::vector<std::string> kModes = {"Automatic   (Any)", "Progressive (P & IL)",
                                         "Fast        (IL)", "Interlaced  (IL)"};

// ---- The imager dialog ----

void ImagerFirstOpening(void*) {
  HWND d = WaitForWindow(kImagerCaption);
  Check(d != nullptr, "imager: dialog found by its caption");
  if (!d) return;
  CheckEq(WindowText(d), kImagerCaption, "imager: caption");
  Check(GetParent(d) == nullptr && GetWindow(d, GW_OWNER) == nullptr,
        "imager: no owner without a \"Camera Control\" window");
  std::vector<std::string> modes = Items(d, 200);
  CheckEq(static_cast<long>(modes.size()), 4, "imager: imaging modes listed");
  for (size_t i = 0; i < modes.size() && i < kModes.size(); ++i)
    CheckEq(modes[i], kModes[i], "imager: mode " + std::to_string(i));
  CheckEq(static_cast<long>(Send(d, 200, CB_GETCURSEL)), 0, "imager: mode selected");
  CheckEq(static_cast<long>(Send(d, 206, CB_GETCOUNT)), 0, "imager: cameras listed (none present)");
  CheckEq(static_cast<long>(Send(d, 206, CB_GETCURSEL)), CB_ERR, "imager: camera selected");
  CheckEq(Text(d, 201), "Imaging Mode", "imager: label 201");
  CheckEq(Text(d, 202), "Corvane Camera Plug In - Version: ", "imager: label 202");
  CheckEq(Text(d, 203), "00.08", "imager: version 203");
  CheckEq(Text(d, 204), "Build: ", "imager: label 204");
  CheckEq(Text(d, 205), "1160", "imager: build 205");
  CheckEq(Text(d, 208), "Camera ", "imager: label 208");
  CheckEq(Text(d, IDOK), "OK", "imager: button 1");
  CheckEq(Text(d, IDCANCEL), "Cancel", "imager: button 2");
  CheckEq(Text(d, 4), "Refresh", "imager: button 4");
  CheckEq(Text(d, 211), "Use AO", "imager: box 211");
  Check(Enabled(d, 211) && !Checked(d, 211), "imager: Use AO enabled, unchecked");
  LONG pictureStyle = GetWindowLongA(GetDlgItem(d, 210), GWL_STYLE);
  Check((pictureStyle & SS_TYPEMASK) == SS_BITMAP, "imager: 210 is a bitmap picture");
  HBITMAP bmp = reinterpret_cast<HBITMAP>(Send(d, 210, STM_GETIMAGE, IMAGE_BITMAP));
  BITMAP info{};
  Check(bmp && GetObjectA(bmp, sizeof info, &info) == sizeof info && info.bmWidth == 32 &&
            info.bmHeight == 30,
        "imager: 210 shows a 32 x 30 bitmap (resource 119)");
  Screenshot("imager_dialog");

  // Choose: Fast, Use AO; Refresh first (finds nothing), then OK.
  Click(d, 4);
  CheckEq(static_cast<long>(Send(d, 206, CB_GETCOUNT)), 0, "imager: cameras after Refresh");
  Check(IsWindowVisible(d) != FALSE, "imager: Refresh keeps the dialog open");
  Send(d, 200, CB_SETCURSEL, 2);
  Click(d, 211);
  Check(Checked(d, 211), "imager: Use AO checked by a click");
  Click(d, IDOK);
  Check(WaitGone(d), "imager: OK closes the dialog");
}

void ImagerSecondOpening(void*) {
  HWND d = WaitForWindow(kImagerCaption);
  Check(d != nullptr, "imager again: dialog found");
  if (!d) return;
  CheckEq(static_cast<long>(Send(d, 200, CB_GETCURSEL)), 2, "imager again: stored mode shown");
  Check(Checked(d, 211), "imager again: stored Use AO shown");
  Send(d, 200, CB_SETCURSEL, 1);
  Click(d, 211);
  Click(d, IDCANCEL);
  Check(WaitGone(d), "imager again: Cancel closes the dialog");
}

void ImagerThirdOpening(void*) {
  HWND d = WaitForWindow(kImagerCaption);
  Check(d != nullptr, "imager third: dialog found");
  if (!d) return;
  CheckEq(static_cast<long>(Send(d, 200, CB_GETCURSEL)), 2, "imager third: Cancel stored no mode");
  Check(Checked(d, 211), "imager third: Cancel stored no Use AO");
  Click(d, IDCANCEL);
  WaitGone(d);
}

// ---- The guider dialog ----

void GuiderFirstOpening(void*) {
  HWND d = WaitForWindow(kGuiderCaption);
  Check(d != nullptr, "guider: dialog found by its caption");
  if (!d) return;
  CheckEq(WindowText(d), kGuiderCaption, "guider: caption");
  CheckEq(Text(d, 230), "ERROR - No Guiders/Imagers present", "guider: status line");
  const int radios[] = {221, 222, 223, 224};
  const char* names[] = {"Other Imager", "Pellion", "Duvane", "Attached to main imager"};
  for (int i = 0; i < 4; ++i) {
    CheckEq(Text(d, radios[i]), names[i], "guider: radio " + std::to_string(radios[i]));
    Check(!Enabled(d, radios[i]), "guider: radio " + std::to_string(radios[i]) + " disabled");
    LONG style = GetWindowLongA(GetDlgItem(d, radios[i]), GWL_STYLE);
    Check((style & BS_TYPEMASK) == BS_AUTORADIOBUTTON && (style & BS_LEFTTEXT),
          "guider: radio " + std::to_string(radios[i]) + " automatic, text on the left");
  }
  Check(Checked(d, 224) && !Checked(d, 221) && !Checked(d, 222) && !Checked(d, 223),
        "guider: 224 checked by default");
  CheckEq(static_cast<long>(Send(d, 226, CB_GETCOUNT)), 0, "guider: cameras listed (none)");
  Check(!Enabled(d, 226), "guider: list disabled");
  CheckEq(Text(d, 229), "Guider", "guider: group box");
  CheckEq(Text(d, 203), "00.08", "guider: version 203");
  CheckEq(Text(d, 205), "1160", "guider: build 205");
  CheckEq(Text(d, 6), "?", "guider: help button");
  LONG okStyle = GetWindowLongA(GetDlgItem(d, IDOK), GWL_STYLE);
  Check((okStyle & BS_TYPEMASK) == BS_DEFPUSHBUTTON, "guider: OK is the default button");
  Check(!(GetWindowLongA(GetDlgItem(d, 6), GWL_STYLE) & WS_TABSTOP), "guider: ? has no tab stop");
  Screenshot("guider_dialog");

  // Help: the box runs inside the dialog's command handling, so post the
  // click and find the box by its caption.
  PostMessageA(GetDlgItem(d, 6), BM_CLICK, 0, 0);
  HWND box = WaitForWindow(kHelpCaption);
  Check(box != nullptr, "guider: help box found by its caption");
  if (box) {
    std::string text = Text(box, 0xFFFF);
    Check(text.find("The CV dedicated guiders are selected directly") == 0 &&
              text.find("a guider that is plugged into the main imager") != std::string::npos,
          "guider: help text");
    Check(GetWindow(box, GW_OWNER) == nullptr, "guider: help box has no owner");
    Check(FindWindowExA(box, nullptr, "Button", "OK") != nullptr &&
              FindWindowExA(box, nullptr, "Button", "Cancel") == nullptr,
          "guider: help box has an OK button only");
    Screenshot("guider_help");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    Check(WaitGone(box), "guider: help box closed");
  }
  Check(IsWindowVisible(d) != FALSE, "guider: dialog still open after help");

  Click(d, 4);  // Refresh: discovery twice, still nothing
  CheckEq(Text(d, 230), "ERROR - No Guiders/Imagers present", "guider: status after Refresh");
  Check(Checked(d, 224), "guider: 224 checked after Refresh");
  Click(d, IDOK);
  Check(WaitGone(d), "guider: OK accepts the attached guide head and closes");
}

void GuiderSecondOpening(void*) {
  HWND d = WaitForWindow(kGuiderCaption);
  Check(d != nullptr, "guider again: dialog found");
  if (!d) return;
  Click(d, IDCANCEL);
  Check(WaitGone(d), "guider again: Cancel closes the dialog");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) g_shotScript = argv[1];
  HMODULE dll = LoadLibraryA("Corvane KT Plug In.dll");
  Check(dll != nullptr, "load Corvane KT Plug In.dll");
  if (!dll) {
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return 1;
  }
  using AllocFn = void* (*)();
  AllocFn alloc = reinterpret_cast<AllocFn>(reinterpret_cast<void*>(GetProcAddress(dll, "AllocObject")));
  Check(alloc != nullptr, "AllocObject exported");
  if (!alloc) return 1;
  void* imager = alloc();
  void* guider = alloc();
  Check(imager && guider, "two objects");

  char name[64] = {0};
  Check(LoadStringA(dll, 1, name, sizeof name) == 20 && std::strcmp(name, kModes[1].c_str()) == 0,
        "string resource 1");

  ShowDialog(imager, kImaging, ImagerFirstOpening, nullptr, "imager");
  // No camera: the stored selection is -1 and the link fails.
  CheckEq(Link(imager), 203, "imager: link after OK");
  ShowDialog(imager, kImaging, ImagerSecondOpening, nullptr, "imager again");
  ShowDialog(imager, kImaging, ImagerThirdOpening, nullptr, "imager third");

  ShowDialog(guider, kTracking, GuiderFirstOpening, nullptr, "guider");
  CheckEq(Link(guider), 203, "guider: link after OK");
  ShowDialog(guider, 5, GuiderSecondOpening, nullptr, "guider (which-CCD 5)");

  Destroy(imager);
  Destroy(guider);
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed ? 1 : 0;
}
