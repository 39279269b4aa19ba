#include "CCamAPIDll.h"

int CCamAPIDll::CCSetShutter(int) { return 0; }
void CCamAPIDll::ProcessShutter(int) {}
