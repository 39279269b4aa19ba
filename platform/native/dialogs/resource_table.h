// How a module of the native build carries its dialog templates and strings.
//
// On Windows the linker puts them into the DLL's resource section and the
// system's dialog manager reads them from there. Here a module exports one
// flat table under the name CvModuleResources (produced from the same
// template file the resource script includes), and the stand-in finds it
// through the module handle the plug-in passes to DialogBoxParamA and
// LoadStringA.
#pragma once

#include <cstdint>

namespace cvdlg {

enum ResourceKind : int32_t {
  kResourceEnd = 0,     // ends the table
  kResourceDialog,      // a dialog template; its controls follow
  kResourceControl,     // one control of the dialog above
  kResourcePicture,     // a static control showing a bitmap resource
  kResourceDialogEnd,   // ends the dialog above
  kResourceString,      // one string resource
};

struct ResourceEntry {
  int32_t kind;
  int32_t id;            // dialog, control or string id; bitmap id for pictures in `bitmap`
  const char* text;      // caption, control text or string
  const char* className; // control class ("Button", "Static", "ComboBox")
  uint32_t style;        // as the resource compiler stores it
  int16_t x, y, cx, cy;  // dialog units
  int32_t fontSize;      // dialogs
  const char* fontName;  // dialogs
  int32_t bitmap;        // pictures
};

// Name of the table a module exports.
constexpr const char kModuleResourcesSymbol[] = "CvModuleResources";

}  // namespace cvdlg
