// The camera plug-in's plain exports, found as a host finds them.
#pragma once

#include <memory>
#include <string>

#include "camera_object.h"
#include "plugin_library.h"

class CameraPlugin {
 public:
  bool load(const std::string& path, std::string* error);
  std::string displayName(int size = 100);
  int deviceId();
  // A new object from AllocObject, or null.
  std::unique_ptr<CameraObject> allocObject();

 private:
  PluginLibrary library_;
  int (*displayName_)(char*, int) = nullptr;
  int (*deviceId_)(int*) = nullptr;
  void* (*allocObject_)() = nullptr;
};
