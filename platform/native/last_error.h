#pragma once
#include <cstdint>

namespace cvwin32 {
// The calling thread's last-error value, as GetLastError reports it.
void setLastError(uint32_t code);
uint32_t lastError();
}  // namespace cvwin32
