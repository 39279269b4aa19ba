#include "commands.h"

void AddWheelCommand(CLI::App& app, HostContext& ctx) {
  (void)app;
  (void)ctx;
}
