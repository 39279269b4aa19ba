// The simulated device world behind our Win32 stand-in.
//
// Devices publish interfaces (a class GUID and a device path) here; the
// stand-in's device-setup calls enumerate them, its file calls open, write,
// read and close them through handles, and its HID calls ask them for their
// identifiers. Nothing in this header uses Win32 names, so the same world can
// sit behind the real DLLs in a Windows test host as well.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace cvworld {

struct Guid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
  bool operator==(const Guid& o) const;
  bool operator!=(const Guid& o) const { return !(*this == o); }
};

// Interface class of the maker's USB camera driver.
extern const Guid kCameraDriverClass;
// Interface class that the HID services report.
extern const Guid kHidClass;

// OS error codes the world reports (values as the system defines them).
namespace err {
constexpr uint32_t ok = 0;
constexpr uint32_t fileNotFound = 2;
constexpr uint32_t accessDenied = 5;
constexpr uint32_t invalidHandle = 6;
constexpr uint32_t genFailure = 31;
constexpr uint32_t sharingViolation = 32;
constexpr uint32_t semTimeout = 121;
constexpr uint32_t deviceNotConnected = 1167;
}  // namespace err

// A device behind one or more interfaces. Each open handle is a connection
// with a number of its own, so a device can tell two handles apart (the
// imager and an attached guider share one camera through two handles).
class Device {
 public:
  virtual ~Device() = default;
  // Return 0 to accept the open, or the OS error code to refuse it.
  virtual uint32_t open(uint32_t connection) {
    (void)connection;
    return err::ok;
  }
  virtual void close(uint32_t connection) { (void)connection; }
  // Return 0 on success or an OS error code; *done receives the byte count.
  virtual uint32_t write(uint32_t connection, const uint8_t* data, uint32_t length,
                         uint32_t* done) = 0;
  virtual uint32_t read(uint32_t connection, uint8_t* data, uint32_t length, uint32_t* done) = 0;
  // HID devices report their identifiers; others return false.
  virtual bool hidAttributes(uint16_t* vendor, uint16_t* product, uint16_t* version) {
    (void)vendor;
    (void)product;
    (void)version;
    return false;
  }
  // The device was unplugged (true) or plugged back in (false).
  virtual void setUnplugged(bool unplugged) { (void)unplugged; }
};

struct InterfaceInfo {
  Guid cls;
  std::string path;
  std::shared_ptr<Device> device;
};

struct MessageBoxRecord {
  bool hasOwner;
  std::string text;
  std::string caption;
  uint32_t type;
  int answer;
};

class World {
 public:
  static World& instance();

  // Forget every interface, close every handle, clear the message-box script
  // and record. The clock is left as it is.
  void reset();

  // Publish an interface; interfaces enumerate in the order published.
  void publish(const Guid& cls, const std::string& path, std::shared_ptr<Device> device);
  // Remove the interfaces on this path from enumeration; their device is told
  // it was unplugged, and every handle on it fails from now on.
  void unplug(const std::string& path);
  // Publish again what unplug removed, at the end of the enumeration order.
  void replug(const std::string& path);
  std::vector<InterfaceInfo> present(const Guid& cls) const;

  // Handles. open returns 0 and sets *error on failure.
  uintptr_t open(const std::string& path, uint32_t* error);
  uint32_t write(uintptr_t handle, const uint8_t* data, uint32_t length, uint32_t* done);
  uint32_t read(uintptr_t handle, uint8_t* data, uint32_t length, uint32_t* done);
  bool close(uintptr_t handle);
  bool isDeviceHandle(uintptr_t handle) const;
  std::shared_ptr<Device> deviceOf(uintptr_t handle, uint32_t* error) const;
  size_t openHandleCount() const;
  uint64_t handlesOpened() const;

  // Enumeration sets (what SetupDiGetClassDevs hands out).
  uintptr_t createSet(const Guid& cls);
  bool setMember(uintptr_t set, uint32_t index, InterfaceInfo* out) const;
  bool destroySet(uintptr_t set);
  size_t openSetCount() const;
  // Make the next createSet calls fail (count of failures to inject).
  void failNextSetCreations(int count);

  // Message boxes: answers queued by a script are used first, then the
  // handler (the host program's interactive prompt), then a default (the
  // box's Cancel, No or OK, as if the user closed it).
  void queueMessageBoxAnswer(int answer);
  void setMessageBoxHandler(std::function<int(const MessageBoxRecord&)> handler);
  int showMessageBox(bool hasOwner, const std::string& text, const std::string& caption,
                     uint32_t type);
  std::vector<MessageBoxRecord> messageBoxes() const;

 private:
  World() = default;
  struct Handle {
    uintptr_t value;
    uint32_t connection;
    std::string path;
    std::shared_ptr<Device> device;
  };
  struct Set {
    uintptr_t value;
    std::vector<InterfaceInfo> members;
  };
  mutable std::mutex mutex_;
  std::vector<InterfaceInfo> interfaces_;
  std::vector<InterfaceInfo> unplugged_;
  std::vector<Handle> handles_;
  std::vector<Set> sets_;
  uintptr_t nextHandle_ = 0x1000;
  uint32_t nextConnection_ = 1;
  uint64_t handlesOpened_ = 0;
  int failSetCreations_ = 0;
  std::vector<int> boxAnswers_;
  std::function<int(const MessageBoxRecord&)> boxHandler_;
  std::vector<MessageBoxRecord> boxes_;
};

}  // namespace cvworld
