#include "commands.h"

void AddLinkCommand(CLI::App& app, HostContext& ctx) {
  (void)app;
  (void)ctx;
}
