#include "CCamAPIDll.h"

int CCamAPIDll::CCStartExposure(const enumZZCAM2&, enumWhichCCD2, const double&, enumPictureType2,
                                const int&, const int&) {
  return 0;
}
int CCamAPIDll::CCIsExposureComplete(const enumZZCAM2&, enumWhichCCD2, int*, unsigned int*) {
  return 0;
}
int CCamAPIDll::CCEndExposure(const enumZZCAM2&, enumWhichCCD2, const int&, const int&) {
  return 0;
}
void CCamAPIDll::ClearRegistersIfNeeded(Exposure&) {}
int CCamAPIDll::DumpImage(Exposure&) { return 0; }
void CCamAPIDll::BeforeDownload(const enumZZCAM2&, const enumWhichCCD2&) {}
