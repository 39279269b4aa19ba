// Loads a plug-in library from a path and finds its exports, by name or (on
// Windows) by ordinal, as a host application does.
#pragma once

#include <string>

class PluginLibrary {
 public:
  PluginLibrary() = default;
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  bool load(const std::string& path, std::string* error);
  bool loaded() const { return handle_ != nullptr; }
  void* symbol(const char* name) const;
  // Windows only; null elsewhere.
  void* ordinal(unsigned number) const;
  const std::string& path() const { return path_; }

 private:
  void* handle_ = nullptr;
  std::string path_;
};
