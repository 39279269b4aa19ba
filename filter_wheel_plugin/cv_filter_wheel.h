// The filter wheel plug-in's exported functions, as the host calls them.
//
// Every function is plain C linkage with the platform's default calling
// convention (cdecl on 32-bit Windows) and is exported from the Windows DLL
// under its undecorated name and a fixed ordinal (cv_filter_wheel_plugin.def).
#pragma once

#include <cstdio>

extern "C" {

int DynDrvrGetDeviceName(char* buffer, int size);       // ordinal 21
int DynDrvrGetDeviceId(int* id);                        // ordinal 22
int cfwapiGetDLLVersion(void);                          // ordinal 30
int cfwapiConnect(void);                                // ordinal 40
int cfwapiIsConnected(int* connected);                  // ordinal 50
int cfwapiDisconnect(void);                             // ordinal 60
int cfwapiGetNumberFilters(int* count);                 // ordinal 70
int cfwapiMoveTo(int position);                         // ordinal 80
int cfwapiSettings(void);                               // ordinal 90
int cfwapiGetDescription(char* buffer, int size);       // ordinal 100

// Not part of the host's interface and not exported from the Windows DLL:
// the native build's tests and host program use it to capture the debug
// log. The library takes the stream over: cfwapiDisconnect writes its last
// message and closes it, and setting another stream (or null) closes the one
// set before. Null turns the log off.
void CvWheelSetDebugLog(FILE* stream);

}  // extern "C"

// Result codes of the connection exports.
enum CfwResult {
  kCfwOk = 0,
  kCfwNoWheel = 1401,
  kCfwConnectTimeout = 1402,
  kCfwBadCount = 1403,
  kCfwMoveTimeout = 1404,
};
