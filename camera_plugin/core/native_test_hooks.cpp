// Native build only: lets the host program choose the imaging mode, which on
// Windows only the imager settings dialog sets. The host finds it with dlsym
// and uses it where present; the Windows DLL has no such export.
#if !defined(_WIN32)

#include "CCamAPIDll.h"

void CvTestSetImagingModeImpl(CCamAPIDll& camera, int mode) { camera.m_imagingMode = mode; }

extern "C" __attribute__((visibility("default"))) void CvTestSetImagingMode(void* object,
                                                                            int mode) {
  if (object) CvTestSetImagingModeImpl(*static_cast<CCamAPIDll*>(object), mode);
}

#endif
