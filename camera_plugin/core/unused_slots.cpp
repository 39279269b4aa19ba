// Slots the host's interface has but this camera does not use: 12, 15, 19,
// 20, 25, 27, 29, 30, 31 and 33.
#include "CCamAPIDll.h"

int CCamAPIDll::CCGetNumBins(const enumZZCAM2&, const enumWhichCCD2&, int& count) {
  count = 3;
  return 0;
}

void CCamAPIDll::CCMakeExposureState(int*, enumZZCAM2, int, int, int, int) {}

int CCamAPIDll::CCReadoutLine(const enumZZCAM2&, const enumWhichCCD2&, const int&, const int&,
                              const int&, unsigned char*) {
  return 0;
}

// Slots 20 and 30 share one body in the host's view: arguments ignored, 0.
int CCamAPIDll::CCDumpLines(const enumZZCAM2&, const enumWhichCCD2&, const int&,
                            const unsigned int&) {
  return 0;
}

int CCamAPIDll::CCSetImageProps(const enumZZCAM2&, const enumWhichCCD2&, const int&, void*) {
  return 0;
}

int CCamAPIDll::CCSetFan(const int&) { return 0; }

int CCamAPIDll::CCPulseOut(unsigned int, int, const enumZZCAM2&) { return 0; }

int CCamAPIDll::CCUpdateClock() { return static_cast<int>(E_NOTIMPL); }

int CCamAPIDll::GetFullDynamicRange(const enumZZCAM2&, const enumWhichCCD2&, unsigned long& range) {
  range = 0xFFFF;
  return 0;
}

void CCamAPIDll::AfterDownload(const enumZZCAM2&, const enumWhichCCD2&) {}
