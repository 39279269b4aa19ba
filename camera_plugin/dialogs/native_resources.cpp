// The native build's copy of the plug-in's dialog templates and strings: the
// same template file the resource script includes, turned into the table the
// stand-in's dialog manager reads (see resource_table.h). The Windows build
// gets them from the resource script instead.
#if !defined(_WIN32)

#include "dialogs/resource_table.h"
#include "resource_ids.h"
#include "win32.h"

namespace {
using cvdlg::ResourceEntry;
}

// Mirrors what the resource compiler does: DS_SETFONT when a font is named,
// WS_CHILD | WS_VISIBLE on every CONTROL statement.
#define CV_DIALOG(id, x, y, cx, cy, style, caption, fontSize, fontName)                       \
  {cvdlg::kResourceDialog, id, caption, nullptr, (uint32_t)((style) | DS_SETFONT), x, y, cx, cy, \
   fontSize, fontName, 0},
#define CV_CONTROL(text, id, cls, style, x, y, cx, cy)                                         \
  {cvdlg::kResourceControl, id, text, cls, (uint32_t)(WS_CHILD | WS_VISIBLE | (style)), x, y,  \
   cx, cy, 0, nullptr, 0},
#define CV_PICTURE(bitmap, id, style, x, y, cx, cy)                                           \
  {cvdlg::kResourcePicture, id, "", "Static", (uint32_t)(WS_CHILD | WS_VISIBLE | (style)), x, \
   y, cx, cy, 0, nullptr, bitmap},
#define CV_DIALOG_END {cvdlg::kResourceDialogEnd, 0, nullptr, nullptr, 0, 0, 0, 0, 0, 0, nullptr, 0},
#define CV_STRINGS_BEGIN
#define CV_STRING(id, text) \
  {cvdlg::kResourceString, id, text, nullptr, 0, 0, 0, 0, 0, 0, nullptr, 0},
#define CV_STRINGS_END

extern "C" __attribute__((visibility("default"))) const ResourceEntry CvModuleResources[] = {
#include "dialog_templates.inc"
    {cvdlg::kResourceEnd, 0, nullptr, nullptr, 0, 0, 0, 0, 0, 0, nullptr, 0},
};

#endif  // !_WIN32
