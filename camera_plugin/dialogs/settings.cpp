#include "CCamAPIDll.h"

int CCamAPIDll::CCSettings(const enumZZCAM2&, const enumWhichCCD2& which) {
  m_whichCcd = which;
  return 0;
}
