#include "CCamAPIDll.h"

uint16_t CCamAPIDll::ProcessCooler(uint16_t) { return 0; }
int CCamAPIDll::CCRegulateTemp(int&, const double&) { return 0; }
int CCamAPIDll::CCQueryTemperature(double&, double&, char*, int, int&, double&) { return 0; }
int CCamAPIDll::CCGetRecommendedSetpoint(double& setpoint) {
  setpoint = m_attachedGuider ? 100.0 : 5.0;
  return 0;
}
