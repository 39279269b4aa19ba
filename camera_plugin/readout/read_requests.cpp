#include "CCamAPIDll.h"

int CCamAPIDll::RequestReadNow(Exposure&) { return 0; }
int CCamAPIDll::RequestDelayedRead(Exposure&) { return 0; }
