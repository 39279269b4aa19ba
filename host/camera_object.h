// A camera plug-in object as a foreign host sees it: a pointer whose first
// word points at a table of functions, called by slot number with the
// member-function convention of the platform (thiscall on 32-bit Windows).
// Nothing here knows the plug-in's class.
#pragma once

#include <cstdint>

namespace slot {
enum : int {
  Destroy = 0, GetCameraId, SetCameraId, GetLinked, SetLinked, GetDisplayName, GetVersion,
  GetLineReadout, Settings, EstablishLink, Disconnect, GetChipSize, GetNumBins,
  GetBinSizeFromIndex, SetBinnedSubFrame, MakeExposureState, StartExposure, IsExposureComplete,
  EndExposure, ReadoutLine, DumpLines, ReadoutImage, RegulateTemp, QueryTemperature,
  GetRecommendedSetpoint, SetFan, ActivateRelays, PulseOut, SetShutter, UpdateClock,
  SetImageProps, GetFullDynamicRange, BeforeDownload, AfterDownload, Count
};
}

template <typename R, typename... Args>
R CallSlot(void* object, int index, Args... args) {
  void** table = *reinterpret_cast<void***>(object);
#if defined(_WIN32) && defined(__i386__)
  using Fn = R(__attribute__((thiscall))*)(void*, Args...);
#else
  using Fn = R (*)(void*, Args...);
#endif
  return reinterpret_cast<Fn>(table[index])(object, args...);
}

// The host's enumerations travel as 32-bit ints.
constexpr int kWhichImaging = 0;
constexpr int kWhichTracking = 1;

class CameraObject {
 public:
  explicit CameraObject(void* object) : object_(object) {}
  ~CameraObject();
  CameraObject(const CameraObject&) = delete;
  CameraObject& operator=(const CameraObject&) = delete;

  void* raw() const { return object_; }

  int cameraId();
  void setCameraId(int id);
  int linked();
  void setLinked(int linked);
  void displayName(char* buffer, int size);
  int version();
  int lineReadout();
  int settings(int which);
  int establishLink();
  int disconnect(int switchCoolerOff);
  int chipSize(int which, int binX, int binY, int* width, int* height);
  int numBins(int which, int* count);
  int binSizeFromIndex(int which, int index, long* binX, long* binY);
  int setBinnedSubFrame(int which, int left, int top, int right, int bottom);
  int startExposure(int which, double seconds, int pictureType, int leaveShutter);
  int isExposureComplete(int which, int* complete);
  int endExposure(int which, int discard, int leaveShutter);
  int readoutLine(int which, unsigned char* buffer);
  int dumpLines(int which);
  int readoutImage(int which, int width, int height, unsigned char* buffer);
  int regulateTemp(int* coolerOn, double setpoint);
  int queryTemperature(double* temperature, double* second, char* text, int textSize, int* status,
                       double* setpoint);
  int recommendedSetpoint(double* setpoint);
  int setFan(int fan);
  int activateRelays(int l1, int l2, int l3, int l4, int wait, int stop);
  int pulseOut();
  int setShutter(int open);
  int updateClock();
  int setImageProps(int which);
  int fullDynamicRange(int which, unsigned long* range);
  void beforeDownload(int which);
  void afterDownload(int which);
  void makeExposureState();

  // Destroys the object through slot 0 with the flag that frees it.
  void destroy();

 private:
  void* object_;
};
