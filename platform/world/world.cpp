#include "world.h"

#include <algorithm>
#include <cstring>

namespace cvworld {

bool Guid::operator==(const Guid& o) const {
  return data1 == o.data1 && data2 == o.data2 && data3 == o.data3 &&
         std::memcmp(data4, o.data4, sizeof data4) == 0;
}

// {3F1A9C27-5B04-4E8D-A2C6-7D19E0B4F3A8}
const Guid kCameraDriverClass = {0x3F1A9C27, 0x5B04, 0x4E8D,
                                 {0xA2, 0xC6, 0x7D, 0x19, 0xE0, 0xB4, 0xF3, 0xA8}};
// {4D1E55B2-F16F-11CF-88CB-001111000030}, the HID interface class.
const Guid kHidClass = {0x4D1E55B2, 0xF16F, 0x11CF,
                        {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

World& World::instance() {
  static World world;
  return world;
}

void World::reset() {
  std::vector<Handle> closing;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    interfaces_.clear();
    unplugged_.clear();
    closing.swap(handles_);
    sets_.clear();
    failSetCreations_ = 0;
    boxAnswers_.clear();
    boxHandler_ = nullptr;
    boxes_.clear();
    handlesOpened_ = 0;
  }
  for (auto& h : closing) h.device->close(h.connection);
}

void World::publish(const Guid& cls, const std::string& path, std::shared_ptr<Device> device) {
  std::lock_guard<std::mutex> lock(mutex_);
  interfaces_.push_back({cls, path, std::move(device)});
}

void World::unplug(const std::string& path) {
  std::vector<std::shared_ptr<Device>> told;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = interfaces_.begin(); it != interfaces_.end();) {
      if (it->path == path) {
        told.push_back(it->device);
        unplugged_.push_back(*it);
        it = interfaces_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& d : told) d->setUnplugged(true);
}

void World::replug(const std::string& path) {
  std::vector<std::shared_ptr<Device>> told;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = unplugged_.begin(); it != unplugged_.end();) {
      if (it->path == path) {
        told.push_back(it->device);
        interfaces_.push_back(*it);
        it = unplugged_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& d : told) d->setUnplugged(false);
}

std::vector<InterfaceInfo> World::present(const Guid& cls) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<InterfaceInfo> out;
  for (auto& i : interfaces_)
    if (i.cls == cls) out.push_back(i);
  return out;
}

uintptr_t World::open(const std::string& path, uint32_t* error) {
  std::shared_ptr<Device> device;
  uint32_t connection;
  uintptr_t value;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& i : interfaces_) {
      if (i.path == path) {
        device = i.device;
        break;
      }
    }
    if (!device) {
      *error = err::fileNotFound;
      return 0;
    }
    connection = nextConnection_++;
    value = nextHandle_;
    nextHandle_ += 4;
  }
  uint32_t refused = device->open(connection);
  if (refused != err::ok) {
    *error = refused;
    return 0;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  handles_.push_back({value, connection, path, device});
  ++handlesOpened_;
  *error = err::ok;
  return value;
}

std::shared_ptr<Device> World::deviceOf(uintptr_t handle, uint32_t* error) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& h : handles_) {
    if (h.value == handle) {
      *error = err::ok;
      return h.device;
    }
  }
  *error = err::invalidHandle;
  return nullptr;
}

uint32_t World::write(uintptr_t handle, const uint8_t* data, uint32_t length, uint32_t* done) {
  *done = 0;
  std::shared_ptr<Device> device;
  uint32_t connection = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& h : handles_)
      if (h.value == handle) {
        device = h.device;
        connection = h.connection;
      }
  }
  if (!device) return err::invalidHandle;
  return device->write(connection, data, length, done);
}

uint32_t World::read(uintptr_t handle, uint8_t* data, uint32_t length, uint32_t* done) {
  *done = 0;
  std::shared_ptr<Device> device;
  uint32_t connection = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& h : handles_)
      if (h.value == handle) {
        device = h.device;
        connection = h.connection;
      }
  }
  if (!device) return err::invalidHandle;
  return device->read(connection, data, length, done);
}

bool World::close(uintptr_t handle) {
  Handle closing;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(handles_.begin(), handles_.end(),
                           [&](const Handle& h) { return h.value == handle; });
    if (it == handles_.end()) return false;
    closing = *it;
    handles_.erase(it);
  }
  closing.device->close(closing.connection);
  return true;
}

bool World::isDeviceHandle(uintptr_t handle) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& h : handles_)
    if (h.value == handle) return true;
  return false;
}

size_t World::openHandleCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return handles_.size();
}

uint64_t World::handlesOpened() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return handlesOpened_;
}

uintptr_t World::createSet(const Guid& cls) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failSetCreations_ > 0) {
    --failSetCreations_;
    return 0;
  }
  Set set;
  set.value = nextHandle_;
  nextHandle_ += 4;
  for (auto& i : interfaces_)
    if (i.cls == cls) set.members.push_back(i);
  sets_.push_back(set);
  return set.value;
}

bool World::setMember(uintptr_t set, uint32_t index, InterfaceInfo* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& s : sets_) {
    if (s.value != set) continue;
    if (index >= s.members.size()) return false;
    *out = s.members[index];
    return true;
  }
  return false;
}

bool World::destroySet(uintptr_t set) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find_if(sets_.begin(), sets_.end(), [&](const Set& s) { return s.value == set; });
  if (it == sets_.end()) return false;
  sets_.erase(it);
  return true;
}

size_t World::openSetCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sets_.size();
}

void World::failNextSetCreations(int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  failSetCreations_ = count;
}

void World::queueMessageBoxAnswer(int answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  boxAnswers_.push_back(answer);
}

void World::setMessageBoxHandler(std::function<int(const MessageBoxRecord&)> handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  boxHandler_ = std::move(handler);
}

namespace {
// What a box answers when the user closes it: Cancel where it has one,
// No for a Yes/No box, else OK (values as the system defines them).
int closedAnswer(uint32_t type) {
  switch (type & 0xF) {
    case 1:  // OK, Cancel
    case 3:  // Yes, No, Cancel
    case 5:  // Retry, Cancel
      return 2;
    case 4:  // Yes, No
      return 7;
    case 2:  // Abort, Retry, Ignore
      return 3;
    default:
      return 1;
  }
}
}  // namespace

int World::showMessageBox(bool hasOwner, const std::string& text, const std::string& caption,
                          uint32_t type) {
  MessageBoxRecord record{hasOwner, text, caption, type, 0};
  std::function<int(const MessageBoxRecord&)> handler;
  bool scripted = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!boxAnswers_.empty()) {
      record.answer = boxAnswers_.front();
      boxAnswers_.erase(boxAnswers_.begin());
      scripted = true;
    } else {
      handler = boxHandler_;
    }
  }
  if (!scripted) record.answer = handler ? handler(record) : closedAnswer(type);
  std::lock_guard<std::mutex> lock(mutex_);
  boxes_.push_back(record);
  return record.answer;
}

std::vector<MessageBoxRecord> World::messageBoxes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

}  // namespace cvworld
