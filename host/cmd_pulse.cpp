#include "commands.h"

void AddPulseCommand(CLI::App& app, HostContext& ctx) {
  (void)app;
  (void)ctx;
}
