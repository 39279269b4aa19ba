// The opening every camera command shares: load the plug-in, create the
// imager object and link it, with the messages a user needs when that fails.
#pragma once

#include <memory>

#include "camera_plugin_api.h"
#include "host_context.h"

// Returns 0 with `camera` linked, or the exit code (2: no plug-in or object,
// 3: the camera did not link) after saying why on stderr.
int OpenLinkedImager(HostContext& ctx, CameraPlugin& plugin, std::unique_ptr<CameraObject>& camera);
