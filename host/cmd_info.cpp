// `info`: what the plug-in says about itself and which cameras the driver
// publishes.
#include <cstdio>

#include "camera_plugin_api.h"
#include "commands.h"
#include "device_listing.h"

void AddInfoCommand(CLI::App& app, HostContext& ctx) {
  CLI::App* cmd = app.add_subcommand(
      "info", "Show the camera plug-in's name, identifier and version, and the cameras found");
  cmd->callback([&ctx]() {
    ctx.prepareWorld();
    CameraPlugin plugin;
    std::string error;
    if (!plugin.load(ctx.cameraPluginPath, &error)) throw CLI::RuntimeError("error: " + error, 2);
    std::printf("Plug-in      %s\n", ctx.cameraPluginPath.c_str());
    std::printf("Display name %s\n", plugin.displayName().c_str());
    std::printf("Device id    %d\n", plugin.deviceId());
    auto object = plugin.allocObject();
    if (!object) throw CLI::RuntimeError("error: AllocObject returned no object", 2);
    std::printf("Version      %d\n", object->version());
    object.reset();

    std::vector<ListedCamera> cameras = ListDriverInterfaces(&error);
    if (!error.empty()) std::printf("%s\n", error.c_str());
    std::printf("\nCameras published by the driver: %zu\n", cameras.size());
    int slot = 0;
    for (const ListedCamera& c : cameras) {
      const char* what = !c.makers ? "not the maker's (passed over)"
                         : c.name.empty() ? "maker's camera, product not in the table"
                                          : c.name.c_str();
      std::printf("  %d  %-28s PID %-4s model %3d  %s\n", slot, what, c.product.c_str(),
                  c.modelCode, c.opens ? "available" : "cannot be opened");
      std::printf("     %s\n", c.path.c_str());
      ++slot;
    }
    if (cameras.size() > 4)
      std::printf("Only the first four interfaces are examined by the plug-in.\n");
  });
}
