// Module-wide state and internal operations of the filter wheel plug-in.
// One set per loaded library, so one wheel per host process; the host calls
// from one thread, so none of it is locked.
#pragma once

#include <cstdint>
#include <cstdio>

#include "win32.h"

// Handle of the opened wheel, INVALID_HANDLE_VALUE while none is open.
extern HANDLE g_wheelHandle;
extern int32_t g_connected;
// Number of filters the wheel last reported; 0 while no count is held.
extern uint8_t g_filterCount;
// Motion mode: 1 bidirectional (shortest way round), 0 always forward.
extern int32_t g_bidirectional;
// The debug log; null while no message is to be written.
extern FILE* g_debugLog;

// The wheel's USB identifiers.
constexpr uint16_t kWheelVendorId = 0x5A31;
constexpr uint16_t kWheelProductId = 0x0C5E;

// Action words of the wheel protocol.
constexpr uint16_t kActionStatus = 0x0000;
constexpr uint16_t kActionReinitialise = 0x0001;

bool WheelHandleOpen();

// Finds the first HID interface with the wheel's identifiers and leaves its
// open handle in g_wheelHandle; false (and no handle open) when none is.
bool FindWheel();
// One blocking write to g_wheelHandle; true when it succeeded.
bool SendReport(const uint8_t* bytes, DWORD length);
// One output report and, if it was written, one input report. The reply
// has input byte 0 in its low byte; bytes never received read 0xFF.
uint32_t RequestAction(uint16_t action);
// The system's text for an OS error code, allocated by the system (release
// with LocalFree), or null when the system has none.
char* GetSystemErrorText(DWORD code);

// Debug log. Nothing is formatted while g_debugLog is null.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void LogMessage(const char* format, ...);
// "<what>: <system text>\n" for an OS error code; a code the system has no
// text for shows as "unknown error <code>".
void LogErrorLine(const char* what, DWORD code);

// Waits, sleeping, until at least `elapsed` ms have passed since `start` on
// the tick counter; unsigned differences keep it right across the wrap.
void WaitForElapsed(DWORD start, DWORD elapsed);
