#include "commands.h"

void AddCoolCommand(CLI::App& app, HostContext& ctx) {
  (void)app;
  (void)ctx;
}
