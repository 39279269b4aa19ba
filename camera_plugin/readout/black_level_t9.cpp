#include "CCamAPIDll.h"

void CCamAPIDll::AdjustT9(unsigned char*, int, int) {}
