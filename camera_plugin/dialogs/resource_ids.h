// Resource and control identifiers of the camera plug-in. Plain #defines so
// that the resource compiler's preprocessor and the C++ compiler read the
// same file.
#pragma once

#define IDD_IMAGER_SETTINGS 298
#define IDD_GUIDER_SETTINGS 299
#define IDB_PLUGIN_LOGO 119

// Imaging-mode texts, string resources 0 to 3.
#define IDS_MODE_AUTOMATIC 0
#define IDS_MODE_PROGRESSIVE 1
#define IDS_MODE_FAST 2
#define IDS_MODE_INTERLACED 3

// Controls both dialogs share.
#define IDC_REFRESH 4
#define IDC_HELP_BUTTON 6
#define IDC_VERSION_LABEL 202
#define IDC_VERSION_TEXT 203
#define IDC_BUILD_LABEL 204
#define IDC_BUILD_TEXT 205
#define IDC_LOGO 210
#define IDC_NO_ID (-1)

// Imager settings dialog.
#define IDC_IMAGING_MODE 200
#define IDC_IMAGING_MODE_LABEL 201
#define IDC_CAMERA_LIST 206
#define IDC_CAMERA_LABEL 208
#define IDC_USE_AO 211

// Guider selection dialog.
#define IDC_OTHER_IMAGER 221
#define IDC_PELLION 222
#define IDC_DUVANE 223
#define IDC_ATTACHED_GUIDER 224
#define IDC_OTHER_IMAGER_LIST 226
#define IDC_GUIDER_GROUP 229
#define IDC_STATUS_LINE 230

// Shown in the version and build fields of both dialogs.
#define CV_BUILD_NUMBER 1160
#define CV_VERSION_STRING "00.08"
