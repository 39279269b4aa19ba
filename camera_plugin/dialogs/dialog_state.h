// Module-wide state of the two settings dialogs. The dialog procedures are
// plain functions, so they find the object they work on here; one dialog of
// each kind can be open at a time.
#pragma once

#include "CCamAPIDll.h"

extern CCamAPIDll* g_imagerDialogTarget;
extern CCamAPIDll* g_guiderDialogTarget;
// What the guider dialog's slot scans found. These outlive the dialog and
// carry over from one opening to the next.
extern int g_pellionFound;
extern int g_duvaneFound;
extern int g_otherImagerFound;
extern int g_pellionSlot;
extern int g_duvaneSlot;

// The dialog procedures of templates 298 and 299 (friends of the class).
INT_PTR CALLBACK ImagerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK GuiderDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The values the library starts with; for tests, which load it once.
void ResetDialogStateForTests();

// Model codes of the two dedicated guide cameras.
constexpr int kPellionModelCode = 70;
constexpr int kDuvaneModelCode = 39;

// The number shown in both dialogs' build field.
constexpr unsigned kBuildNumber = 1160;
