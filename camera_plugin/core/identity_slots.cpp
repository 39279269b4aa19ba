// Slots 1 to 7: identity, the host's link flag, name and version.
#include "CCamAPIDll.h"

enumZZCAM2 CCamAPIDll::GetCameraId() { return m_cameraId; }

void CCamAPIDll::SetCameraId(enumZZCAM2 id) { m_cameraId = id; }

int CCamAPIDll::GetLinked() { return m_linked; }

void CCamAPIDll::SetLinked(int linked) { m_linked = linked; }

void CCamAPIDll::GetDisplayName(char* buffer, int size) { CamAPIGetDisplayName(buffer, size); }

int CCamAPIDll::GetVersion() { return 5; }

int CCamAPIDll::GetLineReadout() { return 0; }
