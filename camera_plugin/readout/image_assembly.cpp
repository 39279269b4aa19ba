#include "CCamAPIDll.h"

int CCamAPIDll::CCReadoutImage(const enumZZCAM2&, const enumWhichCCD2&, const int&, const int&,
                               const int&, unsigned char*) {
  return 1;
}
int CCamAPIDll::ReadImage(unsigned char*, unsigned long, Exposure&, enumWhichCCD2) { return 0; }
