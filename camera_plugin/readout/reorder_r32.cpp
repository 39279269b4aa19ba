#include "CCamAPIDll.h"

void CCamAPIDll::AdjustR32(unsigned char*, unsigned char*, unsigned char*, int, int) {}
