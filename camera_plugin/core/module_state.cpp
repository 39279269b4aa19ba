#include "module_state.h"

HINSTANCE g_moduleInstance = nullptr;
int g_instanceCount = 0;
int g_imagerSlot = 0;
int g_sharedDevice = 0;
std::atomic<int32_t> g_writeLock{0};
std::atomic<int32_t> g_readLock{0};
std::atomic<const void*> g_readLockOwner{nullptr};
const char* g_versionText = "00.08";
