#include "commands.h"

void AddSettingsCommand(CLI::App& app, HostContext& ctx) {
  (void)app;
  (void)ctx;
}
