#include "CCamAPIDll.h"

void CCamAPIDll::AdjustR31(unsigned char*, unsigned char*, int, int) {}
