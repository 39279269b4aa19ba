#include "CCamAPIDll.h"

int CCamAPIDll::CCGetChipSize(const enumZZCAM2&, const enumWhichCCD2&, const int&, const int&,
                              const int&, int&, int&, int&) {
  return 0;
}
int CCamAPIDll::CCGetBinSizeFromIndex(const enumZZCAM2&, const enumWhichCCD2&, const int&,
                                      long& binX, long& binY) {
  binX = 1;
  binY = 1;
  return 0;
}
int CCamAPIDll::CCSetBinnedSubFrame(const enumZZCAM2&, const enumWhichCCD2&, const int&,
                                    const int&, const int&, const int&) {
  return 0;
}
int CCamAPIDll::GetVertScaleFactor(const Exposure&) { return 1; }
CCamAPIDll::Exposure* CCamAPIDll::GetMainExposure() { return m_mainExposure; }
void CCamAPIDll::SetMainExposure(Exposure* exposure) { m_mainExposure = exposure; }
