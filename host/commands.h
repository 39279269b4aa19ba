#pragma once

#include <CLI/CLI.hpp>

#include "host_context.h"

void AddInfoCommand(CLI::App& app, HostContext& ctx);
void AddLinkCommand(CLI::App& app, HostContext& ctx);
void AddExposeCommand(CLI::App& app, HostContext& ctx);
void AddCoolCommand(CLI::App& app, HostContext& ctx);
void AddPulseCommand(CLI::App& app, HostContext& ctx);
void AddSettingsCommand(CLI::App& app, HostContext& ctx);
void AddWheelCommand(CLI::App& app, HostContext& ctx);
