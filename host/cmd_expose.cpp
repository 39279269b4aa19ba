#include "commands.h"

void AddExposeCommand(CLI::App& app, HostContext& ctx) {
  (void)app;
  (void)ctx;
}
