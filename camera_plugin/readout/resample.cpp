#include "CCamAPIDll.h"

void CCamAPIDll::Resample(const unsigned short*, int, int, unsigned short*, int, int) {}
