#include "plugin_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

PluginLibrary::~PluginLibrary() {
#if defined(_WIN32)
  if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
#else
  if (handle_) dlclose(handle_);
#endif
}

bool PluginLibrary::load(const std::string& path, std::string* error) {
  path_ = path;
#if defined(_WIN32)
  handle_ = LoadLibraryA(path.c_str());
  if (!handle_) {
    if (error) *error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
#else
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    if (error) *error = dlerror();
    return false;
  }
#endif
  return true;
}

void* PluginLibrary::symbol(const char* name) const {
  if (!handle_) return nullptr;
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
  return dlsym(handle_, name);
#endif
}

void* PluginLibrary::ordinal(unsigned number) const {
#if defined(_WIN32)
  if (!handle_) return nullptr;
  return reinterpret_cast<void*>(
      GetProcAddress(static_cast<HMODULE>(handle_), MAKEINTRESOURCEA(number)));
#else
  (void)number;
  return nullptr;
#endif
}
