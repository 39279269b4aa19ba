#include "CCamAPIDll.h"

int CCamAPIDll::CCEstablishLink(enumLPTPort2, const int&, enumZZCAM2, enumZZCAM2&, int, int&) {
  return kResultNotReachable;
}
