// Values shared by every object of the process. Plain integers, written
// without a lock, except the two shared-device flags, which are taken with an
// atomic test-and-set (see shared_device_lock.cpp).
#pragma once

#include <atomic>
#include <cstdint>

#include "win32.h"

extern HINSTANCE g_moduleInstance;
extern int g_instanceCount;
extern int g_imagerSlot;
extern int g_sharedDevice;
extern std::atomic<int32_t> g_writeLock;
extern std::atomic<int32_t> g_readLock;
extern const char* g_versionText;

// Waits until the flag reads 0, then sets it to 1, in one atomic step.
void TakeSharedDeviceFlag(std::atomic<int32_t>& flag);
void ReleaseSharedDeviceFlag(std::atomic<int32_t>& flag);

// The object whose read request holds g_readLock, or null. Lets an object
// that asks again before its data were read (an abandoned readout) go on
// instead of waiting for itself, and lets it give the lock up when it starts
// afresh or disconnects. Releasing g_readLock clears it.
extern std::atomic<const void*> g_readLockOwner;
// Takes g_readLock for `owner` unless `owner` already holds it.
void TakeReadLockFor(const void* owner);
// Releases g_readLock if `owner` holds it; returns whether it did.
bool ReleaseReadLockHeldBy(const void* owner);
