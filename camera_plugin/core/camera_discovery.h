#pragma once
#include "win32.h"

// Interface class that the maker's USB camera driver publishes its cameras under.
extern const GUID kCameraDriverGuid;

// Opens a device path for reading and writing, shared, as both discovery's
// trial open and the link use it.
HANDLE OpenDevicePath(const char* path);
