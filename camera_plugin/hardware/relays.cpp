#include "CCamAPIDll.h"

int CCamAPIDll::CCActivateRelays(const int&, const int&, const int&, const int&, const int&,
                                 const int&, const int&) {
  return 0;
}
