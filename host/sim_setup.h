// Native build only: puts the simulated devices the command line asks for
// into the world behind the Win32 stand-in.
#pragma once

#include "host_context.h"

void BuildSimulatedWorld(const SimOptions& options);
