// What the camera driver publishes, listed the way discovery reads it: each
// interface's path, the vendor and product identifiers in it, the product
// they name and whether the device can be opened.
#pragma once

#include <string>
#include <vector>

struct ListedCamera {
  std::string path;
  std::string vendor;   // 4 characters after VID_, upper case, or empty
  std::string product;  // 4 characters after PID_, upper case, or empty
  std::string name;     // display name of the product row, or empty
  int modelCode = 0;
  bool makers = false;  // vendor 5A31
  bool opens = false;
};

std::vector<ListedCamera> ListDriverInterfaces(std::string* error);
