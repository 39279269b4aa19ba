// The headless dialog manager: windows as plain records, dialogs built from
// a module's exported resource table, messages delivered by direct calls.
#include "dialog_manager.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>

#include "dialog_internal.h"
#include "last_error.h"
#include "resource_table.h"

namespace cvdlg {

struct Window {
  uintptr_t handle = 0;
  Window* parent = nullptr;  // the dialog, for a control
  bool isDialog = false;
  int id = 0;
  std::string className;
  uint32_t style = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  std::string text;
  bool enabled = true;
  int check = BST_UNCHECKED;
  std::vector<std::string> items;
  int selection = -1;
  int bitmap = 0;
  // Dialogs only.
  DLGPROC proc = nullptr;
  HWND owner = nullptr;
  int templateId = 0;
  bool ended = false;
  INT_PTR result = 0;
  std::vector<std::unique_ptr<Window>> children;
};

namespace {

std::mutex g_mutex;
std::map<uintptr_t, Window*> g_windows;             // every live window by handle
std::vector<Window*> g_topLevel;                    // dialogs and foreign windows, in creation order
std::vector<std::unique_ptr<Window>> g_foreign;     // windows made by createTopLevelWindow
uintptr_t g_nextHandle = 0x10000;
DialogHandler g_handler;

HWND toHwnd(const Window* w) { return w ? reinterpret_cast<HWND>(w->handle) : nullptr; }

void registerWindow(Window* w) {
  std::lock_guard<std::mutex> lock(g_mutex);
  w->handle = g_nextHandle;
  g_nextHandle += 4;
  g_windows[w->handle] = w;
}

void unregisterWindow(Window* w) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_windows.erase(w->handle);
}

Window* lookup(HWND h) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_windows.find(reinterpret_cast<uintptr_t>(h));
  return it == g_windows.end() ? nullptr : it->second;
}

Window* childById(Window* dialog, int id) {
  if (!dialog || !dialog->isDialog) return nullptr;
  for (auto& c : dialog->children)
    if (c->id == id) return c.get();
  return nullptr;
}

bool isCombo(const Window* w) { return w->className == "ComboBox"; }
bool isButton(const Window* w) { return w->className == "Button"; }
uint32_t buttonType(const Window* w) { return w->style & BS_TYPEMASK; }

ControlKind kindOf(const Window* w) {
  if (isCombo(w)) return ControlKind::ComboBox;
  if (isButton(w)) {
    switch (buttonType(w)) {
      case BS_PUSHBUTTON: return ControlKind::PushButton;
      case BS_DEFPUSHBUTTON: return ControlKind::DefPushButton;
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case BS_3STATE:
      case BS_AUTO3STATE: return ControlKind::CheckBox;
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON: return ControlKind::RadioButton;
      case BS_GROUPBOX: return ControlKind::GroupBox;
      default: return ControlKind::Other;
    }
  }
  if (w->className == "Static")
    return (w->style & SS_TYPEMASK) == SS_BITMAP ? ControlKind::Picture : ControlKind::Static;
  return ControlKind::Other;
}

// The module's resource table, found through the module handle: any address
// inside the module identifies it, as the plug-in's handle is.
const ResourceEntry* moduleResources(HINSTANCE module) {
  if (module == nullptr) return nullptr;
  void* table = nullptr;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(module), &info) != 0 && info.dli_fname != nullptr) {
    void* lib = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (lib != nullptr) {
      table = dlsym(lib, kModuleResourcesSymbol);
      dlclose(lib);  // the module stays loaded: NOLOAD only took a reference
    }
  }
  // A program linked against the module (a test) may hold the handle's
  // variable itself (a copy relocation), so the address names the program;
  // the module's table is then among the global symbols.
  if (table == nullptr) table = dlsym(RTLD_DEFAULT, kModuleResourcesSymbol);
  return static_cast<const ResourceEntry*>(table);
}

const ResourceEntry* findDialogTemplate(const ResourceEntry* table, int id) {
  for (const ResourceEntry* e = table; e && e->kind != kResourceEnd; ++e)
    if (e->kind == kResourceDialog && e->id == id) return e;
  return nullptr;
}

INT_PTR callProc(Window* dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!dialog || !dialog->proc) return 0;
  return dialog->proc(toHwnd(dialog), message, wParam, lParam);
}

void sendCommand(Window* control, int code) {
  Window* dialog = control->parent;
  callProc(dialog, WM_COMMAND, MAKEWPARAM(control->id, code),
           reinterpret_cast<LPARAM>(toHwnd(control)));
}

// The controls of the radio group `control` belongs to: from the nearest
// control at or before it with WS_GROUP to the next control with WS_GROUP.
void clearRadioGroup(Window* control) {
  auto& kids = control->parent->children;
  size_t at = 0;
  while (at < kids.size() && kids[at].get() != control) ++at;
  size_t first = at;
  while (first > 0 && !(kids[first]->style & WS_GROUP)) --first;
  for (size_t i = first; i < kids.size(); ++i) {
    if (i > first && (kids[i]->style & WS_GROUP)) break;
    Window* k = kids[i].get();
    if (k != control && isButton(k) && buttonType(k) == BS_AUTORADIOBUTTON) k->check = BST_UNCHECKED;
  }
}

// A mouse click on a button, as a real dialog manager carries it out.
bool clickButton(Window* w) {
  if (!w || !w->parent || w->parent->ended || !w->enabled || !isButton(w)) return false;
  switch (buttonType(w)) {
    case BS_GROUPBOX: return false;
    case BS_AUTOCHECKBOX: w->check = w->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED; break;
    case BS_AUTO3STATE: w->check = (w->check + 1) % 3; break;
    case BS_AUTORADIOBUTTON:
      w->check = BST_CHECKED;
      clearRadioGroup(w);
      break;
    default: break;
  }
  sendCommand(w, BN_CLICKED);
  return true;
}

int comboSetSelection(Window* w, WPARAM index) {
  int i = static_cast<int>(static_cast<INT_PTR>(index));
  if (i < 0 || i >= static_cast<int>(w->items.size())) {
    w->selection = -1;
    w->text.clear();
    return CB_ERR;
  }
  w->selection = i;
  w->text = w->items[i];
  return i;
}

LRESULT controlMessage(Window* w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT:
      w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
      return TRUE;
    case WM_GETTEXT: {
      char* out = reinterpret_cast<char*>(lParam);
      if (!out || wParam == 0) return 0;
      size_t n = std::min<size_t>(w->text.size(), wParam - 1);
      std::memcpy(out, w->text.data(), n);
      out[n] = '\0';
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w->text.size());
    default: break;
  }
  if (isCombo(w)) {
    switch (message) {
      case CB_ADDSTRING: {
        if (!lParam) return CB_ERR;
        std::string s = reinterpret_cast<const char*>(lParam);
        size_t at = w->items.size();
        if (w->style & CBS_SORT) {
          at = 0;
          while (at < w->items.size() && w->items[at] <= s) ++at;
          if (w->selection >= static_cast<int>(at)) ++w->selection;
        }
        w->items.insert(w->items.begin() + static_cast<long>(at), s);
        return static_cast<LRESULT>(at);
      }
      case CB_RESETCONTENT:
        w->items.clear();
        w->selection = -1;
        w->text.clear();
        return TRUE;
      case CB_SETCURSEL: return comboSetSelection(w, wParam);
      case CB_GETCURSEL: return w->selection;
      case CB_GETCOUNT: return static_cast<LRESULT>(w->items.size());
      case CB_GETLBTEXTLEN:
      case CB_GETLBTEXT: {
        if (wParam >= w->items.size()) return CB_ERR;
        const std::string& s = w->items[wParam];
        if (message == CB_GETLBTEXT) {
          char* out = reinterpret_cast<char*>(lParam);
          if (!out) return CB_ERR;
          std::memcpy(out, s.c_str(), s.size() + 1);  // the caller's buffer holds the item
        }
        return static_cast<LRESULT>(s.size());
      }
      default: return 0;
    }
  }
  if (isButton(w)) {
    switch (message) {
      case BM_GETCHECK: return w->check;
      case BM_SETCHECK: {
        uint32_t t = buttonType(w);
        int want = static_cast<int>(wParam);
        if (t == BS_CHECKBOX || t == BS_AUTOCHECKBOX || t == BS_RADIOBUTTON ||
            t == BS_AUTORADIOBUTTON)
          w->check = want == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED;
        else if (t == BS_3STATE || t == BS_AUTO3STATE)
          w->check = want >= 0 && want <= 2 ? want : BST_UNCHECKED;
        return 0;
      }
      case BM_CLICK: clickButton(w); return 0;
      default: return 0;
    }
  }
  return 0;
}

void destroyDialog(Window* dialog) {
  for (auto& c : dialog->children) unregisterWindow(c.get());
  unregisterWindow(dialog);
  std::lock_guard<std::mutex> lock(g_mutex);
  for (auto it = g_topLevel.begin(); it != g_topLevel.end(); ++it)
    if (*it == dialog) {
      g_topLevel.erase(it);
      break;
    }
}

}  // namespace

// ---- Dialog ----

HWND Dialog::handle() const { return toHwnd(window_); }
int Dialog::templateId() const { return window_->templateId; }
std::string Dialog::caption() const { return window_->text; }
HWND Dialog::owner() const { return window_->owner; }
bool Dialog::ended() const { return window_->ended; }
INT_PTR Dialog::result() const { return window_->result; }
bool Dialog::has(int id) const { return childById(window_, id) != nullptr; }
std::string Dialog::text(int id) const {
  Window* w = childById(window_, id);
  return w ? w->text : std::string();
}
bool Dialog::enabled(int id) const {
  Window* w = childById(window_, id);
  return w && w->enabled;
}
bool Dialog::checked(int id) const {
  Window* w = childById(window_, id);
  return w && w->check == BST_CHECKED;
}
std::vector<std::string> Dialog::items(int id) const {
  Window* w = childById(window_, id);
  return w ? w->items : std::vector<std::string>();
}
int Dialog::selection(int id) const {
  Window* w = childById(window_, id);
  return w && isCombo(w) ? w->selection : -1;
}

std::vector<ControlView> Dialog::controls() const {
  std::vector<ControlView> out;
  for (auto& c : window_->children)
    out.push_back(ControlView{c->id, kindOf(c.get()), c->className, c->style, c->x, c->y, c->cx,
                              c->cy, c->text, c->enabled, c->check, c->items, c->selection,
                              c->bitmap});
  return out;
}

bool Dialog::click(int id) { return clickButton(childById(window_, id)); }

bool Dialog::choose(int comboId, int index) {
  Window* w = childById(window_, comboId);
  if (!w || window_->ended || !w->enabled || !isCombo(w)) return false;
  if (index < 0 || index >= static_cast<int>(w->items.size())) return false;
  comboSetSelection(w, static_cast<WPARAM>(index));
  sendCommand(w, CBN_SELCHANGE);
  return true;
}

bool Dialog::pressEnter() {
  if (window_->ended) return false;
  Window* def = nullptr;
  for (auto& c : window_->children)
    if (isButton(c.get()) && buttonType(c.get()) == BS_DEFPUSHBUTTON) def = c.get();
  if (def && !def->enabled) return false;
  int id = def ? def->id : IDOK;
  callProc(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
           reinterpret_cast<LPARAM>(toHwnd(def ? def : childById(window_, IDOK))));
  return true;
}

bool Dialog::pressEscape() {
  if (window_->ended) return false;
  callProc(window_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
           reinterpret_cast<LPARAM>(toHwnd(childById(window_, IDCANCEL))));
  return true;
}

std::string Dialog::render() const {
  std::ostringstream o;
  o << "+-- " << window_->text << " --\n";
  for (auto& c : window_->children) {
    ControlKind k = kindOf(c.get());
    if (k == ControlKind::Picture) continue;
    if (k == ControlKind::Static && c->text.empty() && c->id == -1) continue;
    o << "| ";
    if (c->id >= 0)
      o << "[" << c->id << "] ";
    else
      o << "      ";
    switch (k) {
      case ControlKind::RadioButton:
        o << (c->check == BST_CHECKED ? "(*) " : "( ) ") << c->text;
        break;
      case ControlKind::CheckBox:
        o << (c->check == BST_CHECKED ? "[x] " : "[ ] ") << c->text;
        break;
      case ControlKind::PushButton:
      case ControlKind::DefPushButton:
        o << "<" << c->text << ">" << (k == ControlKind::DefPushButton ? " (default)" : "");
        break;
      case ControlKind::GroupBox: o << "-- " << c->text << " --"; break;
      case ControlKind::ComboBox: {
        o << "list: ";
        if (c->items.empty()) o << "(empty)";
        for (size_t i = 0; i < c->items.size(); ++i)
          o << (i ? "  " : "") << (static_cast<int>(i) == c->selection ? "*" : "") << i << "="
            << "\"" << c->items[i] << "\"";
        if (c->selection < 0) o << "  (no selection)";
        break;
      }
      default: o << "\"" << c->text << "\""; break;
    }
    if (!c->enabled) o << "  (disabled)";
    o << "\n";
  }
  o << "+--\n";
  return o.str();
}

DialogHandler setDialogHandler(DialogHandler handler) {
  std::lock_guard<std::mutex> lock(g_mutex);
  DialogHandler old = std::move(g_handler);
  g_handler = std::move(handler);
  return old;
}

HWND createTopLevelWindow(const std::string& title) {
  auto w = std::make_unique<Window>();
  w->text = title;
  w->className = "CvForeignWindow";
  Window* raw = w.get();
  registerWindow(raw);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_topLevel.push_back(raw);
  g_foreign.push_back(std::move(w));
  return toHwnd(raw);
}

void destroyTopLevelWindow(HWND window) {
  Window* w = lookup(window);
  if (!w || w->isDialog) return;
  unregisterWindow(w);
  std::lock_guard<std::mutex> lock(g_mutex);
  for (auto it = g_topLevel.begin(); it != g_topLevel.end(); ++it)
    if (*it == w) {
      g_topLevel.erase(it);
      break;
    }
  for (auto it = g_foreign.begin(); it != g_foreign.end(); ++it)
    if (it->get() == w) {
      g_foreign.erase(it);
      break;
    }
}

int openDialogCount() {
  std::lock_guard<std::mutex> lock(g_mutex);
  int n = 0;
  for (Window* w : g_topLevel) n += w->isDialog ? 1 : 0;
  return n;
}

// ---- The user-interface calls ----

namespace internal {

HWND findWindow(const char* className, const char* title) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (Window* w : g_topLevel) {
    if (title && w->text != title) continue;
    if (className && !IS_INTRESOURCE(className)) {
      const char* cls = w->isDialog ? "#32770" : w->className.c_str();
      if (std::strcmp(cls, className) != 0) continue;
    }
    return toHwnd(w);
  }
  return nullptr;
}

INT_PTR runDialog(HINSTANCE module, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param) {
  if (!IS_INTRESOURCE(templateName)) {
    cvwin32::setLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return -1;
  }
  int templateId = static_cast<int>(reinterpret_cast<uintptr_t>(templateName));
  const ResourceEntry* tpl = findDialogTemplate(moduleResources(module), templateId);
  if (!tpl) {
    cvwin32::setLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return -1;
  }
  if (owner && !lookup(owner)) {
    cvwin32::setLastError(ERROR_INVALID_WINDOW_HANDLE);
    return -1;
  }

  auto dialog = std::make_unique<Window>();
  Window* d = dialog.get();
  d->isDialog = true;
  d->className = "#32770";
  d->templateId = templateId;
  d->text = tpl->text ? tpl->text : "";
  d->style = tpl->style;
  d->x = tpl->x;
  d->y = tpl->y;
  d->cx = tpl->cx;
  d->cy = tpl->cy;
  d->proc = proc;
  d->owner = owner;
  registerWindow(d);
  for (const ResourceEntry* e = tpl + 1; e->kind == kResourceControl || e->kind == kResourcePicture;
       ++e) {
    auto c = std::make_unique<Window>();
    c->parent = d;
    c->id = e->id;
    c->className = e->className ? e->className : "";
    c->style = e->style;
    c->x = e->x;
    c->y = e->y;
    c->cx = e->cx;
    c->cy = e->cy;
    c->text = e->text ? e->text : "";
    c->enabled = !(e->style & WS_DISABLED);
    c->bitmap = e->bitmap;
    registerWindow(c.get());
    d->children.push_back(std::move(c));
  }
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_topLevel.push_back(d);
  }

  // The focus candidate: the first enabled control with a tab stop.
  HWND focus = nullptr;
  for (auto& c : d->children)
    if ((c->style & WS_TABSTOP) && c->enabled) {
      focus = toHwnd(c.get());
      break;
    }
  callProc(d, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param);

  if (!d->ended) {
    DialogHandler handler;
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      handler = g_handler;
    }
    Dialog view(d);
    if (handler) handler(view);
    if (!d->ended) view.pressEscape();
    if (!d->ended) {
      d->ended = true;
      d->result = IDCANCEL;
    }
  }
  INT_PTR result = d->result;
  destroyDialog(d);
  return result;
}

BOOL endDialog(HWND dialog, INT_PTR result) {
  Window* d = lookup(dialog);
  if (!d || !d->isDialog) {
    cvwin32::setLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  d->ended = true;
  d->result = result;
  return TRUE;
}

HWND dlgItem(HWND dialog, int id) {
  Window* d = lookup(dialog);
  if (!d || !d->isDialog) {
    cvwin32::setLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  Window* c = childById(d, id);
  if (!c) {
    cvwin32::setLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
  }
  return toHwnd(c);
}

LRESULT sendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = lookup(window);
  if (!w) {
    cvwin32::setLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (w->isDialog) return callProc(w, message, wParam, lParam);
  if (w->parent == nullptr) return 0;  // a foreign window: nothing answers
  return controlMessage(w, message, wParam, lParam);
}

BOOL enableWindow(HWND window, BOOL enable) {
  Window* w = lookup(window);
  if (!w) {
    cvwin32::setLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  BOOL wasDisabled = w->enabled ? FALSE : TRUE;
  w->enabled = enable != FALSE;
  return wasDisabled;
}

BOOL isWindowEnabled(HWND window) {
  Window* w = lookup(window);
  return w && w->enabled ? TRUE : FALSE;
}

BOOL isWindowVisible(HWND window) {
  Window* w = lookup(window);
  if (!w) return FALSE;
  return w->isDialog || w->parent == nullptr || (w->style & WS_VISIBLE) ? TRUE : FALSE;
}

BOOL setDlgItemText(HWND dialog, int id, const char* text) {
  HWND item = dlgItem(dialog, id);
  if (!item) return FALSE;
  return static_cast<BOOL>(sendMessage(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

int getWindowText(HWND window, char* buffer, int size) {
  Window* w = lookup(window);
  if (!buffer || size <= 0) return 0;
  buffer[0] = '\0';
  if (!w) {
    cvwin32::setLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  size_t n = std::min<size_t>(w->text.size(), static_cast<size_t>(size - 1));
  std::memcpy(buffer, w->text.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

int loadString(HINSTANCE module, UINT id, char* buffer, int size) {
  if (!buffer || size <= 0) return 0;
  buffer[0] = '\0';
  for (const ResourceEntry* e = moduleResources(module); e && e->kind != kResourceEnd; ++e) {
    if (e->kind != kResourceString || static_cast<UINT>(e->id) != id) continue;
    size_t n = std::min<size_t>(std::strlen(e->text), static_cast<size_t>(size - 1));
    std::memcpy(buffer, e->text, n);
    buffer[n] = '\0';
    return static_cast<int>(n);
  }
  cvwin32::setLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return 0;
}

}  // namespace internal
}  // namespace cvdlg
