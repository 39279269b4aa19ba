#include "camera_session.h"

#include <cstdio>
#include <string>

int OpenLinkedImager(HostContext& ctx, CameraPlugin& plugin, std::unique_ptr<CameraObject>& camera) {
  std::string error;
  if (!plugin.load(ctx.cameraPluginPath, &error)) {
    std::fprintf(stderr, "error: %s\n", error.c_str());
    return 2;
  }
  camera = plugin.allocObject();
  if (!camera) {
    std::fprintf(stderr, "error: AllocObject returned no object\n");
    return 2;
  }
  const int link = camera->establishLink();
  if (link != 0) {
    std::fprintf(stderr, "error: the camera did not link (CCEstablishLink returned %d%s)\n", link,
                 link == 203 ? ", camera not reachable" : "");
    camera->disconnect(0);
    return 3;
  }
  return 0;
}
