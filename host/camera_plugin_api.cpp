#include "camera_plugin_api.h"

#include <vector>

bool CameraPlugin::load(const std::string& path, std::string* error) {
  if (!library_.load(path, error)) return false;
  // A host that knows the ordinals asks for them; names are the fallback
  // where the platform has no ordinals.
  void* name = library_.ordinal(21);
  void* id = library_.ordinal(22);
  void* alloc = library_.ordinal(24);
  if (!name) name = library_.symbol("CamAPIGetDisplayName");
  if (!id) id = library_.symbol("CamAPIGetDeviceId");
  if (!alloc) alloc = library_.symbol("AllocObject");
  if (!name || !id || !alloc) {
    if (error) *error = path + " lacks the camera plug-in's exports";
    return false;
  }
  displayName_ = reinterpret_cast<int (*)(char*, int)>(name);
  deviceId_ = reinterpret_cast<int (*)(int*)>(id);
  allocObject_ = reinterpret_cast<void* (*)()>(alloc);
  return true;
}

std::string CameraPlugin::displayName(int size) {
  std::vector<char> buffer(static_cast<size_t>(size > 0 ? size : 1), '\0');
  displayName_(buffer.data(), size);
  return buffer.data();
}

int CameraPlugin::deviceId() {
  int id = 0;
  deviceId_(&id);
  return id;
}

std::unique_ptr<CameraObject> CameraPlugin::allocObject() {
  void* object = allocObject_();
  if (!object) return nullptr;
  return std::make_unique<CameraObject>(object);
}
