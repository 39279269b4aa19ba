#include "CCamAPIDll.h"

int CCamAPIDll::CCDisconnect(int) { return 1; }
