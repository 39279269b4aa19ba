#include "camera_object.h"

namespace {
constexpr int kCamera = 10000;  // the plug-in's own camera identifier
}

CameraObject::~CameraObject() { destroy(); }

void CameraObject::destroy() {
  if (object_) CallSlot<void*, unsigned>(object_, slot::Destroy, 1u);
  object_ = nullptr;
}

int CameraObject::cameraId() { return CallSlot<int>(object_, slot::GetCameraId); }
void CameraObject::setCameraId(int id) { CallSlot<void, int>(object_, slot::SetCameraId, id); }
int CameraObject::linked() { return CallSlot<int>(object_, slot::GetLinked); }
void CameraObject::setLinked(int v) { CallSlot<void, int>(object_, slot::SetLinked, v); }
void CameraObject::displayName(char* buffer, int size) {
  CallSlot<void, char*, int>(object_, slot::GetDisplayName, buffer, size);
}
int CameraObject::version() { return CallSlot<int>(object_, slot::GetVersion); }
int CameraObject::lineReadout() { return CallSlot<int>(object_, slot::GetLineReadout); }

int CameraObject::settings(int which) {
  return CallSlot<int, const int&, const int&>(object_, slot::Settings, kCamera, which);
}

int CameraObject::establishLink() {
  int address = 0, cameraOut = kCamera, status = 0;
  return CallSlot<int, int, const int&, int, int&, int, int&>(
      object_, slot::EstablishLink, 0, address, kCamera, cameraOut, 0, status);
}

int CameraObject::disconnect(int off) { return CallSlot<int, int>(object_, slot::Disconnect, off); }

int CameraObject::chipSize(int which, int binX, int binY, int* width, int* height) {
  int unused = 0, unusedOut = 0;
  return CallSlot<int, const int&, const int&, const int&, const int&, const int&, int&, int&,
                  int&>(object_, slot::GetChipSize, kCamera, which, binX, binY, unused, *width,
                        *height, unusedOut);
}

int CameraObject::numBins(int which, int* count) {
  return CallSlot<int, const int&, const int&, int&>(object_, slot::GetNumBins, kCamera, which,
                                                     *count);
}

int CameraObject::binSizeFromIndex(int which, int index, long* binX, long* binY) {
  return CallSlot<int, const int&, const int&, const int&, long&, long&>(
      object_, slot::GetBinSizeFromIndex, kCamera, which, index, *binX, *binY);
}

int CameraObject::setBinnedSubFrame(int which, int left, int top, int right, int bottom) {
  return CallSlot<int, const int&, const int&, const int&, const int&, const int&, const int&>(
      object_, slot::SetBinnedSubFrame, kCamera, which, left, top, right, bottom);
}

void CameraObject::makeExposureState() {
  int state = 0;
  CallSlot<void, int*, int, int, int, int, int>(object_, slot::MakeExposureState, &state, kCamera,
                                                0, 0, 0, 0);
}

int CameraObject::startExposure(int which, double seconds, int pictureType, int leaveShutter) {
  int unused = 0;
  return CallSlot<int, const int&, int, const double&, int, const int&, const int&>(
      object_, slot::StartExposure, kCamera, which, seconds, pictureType, unused, leaveShutter);
}

int CameraObject::isExposureComplete(int which, int* complete) {
  unsigned int unused = 0;
  return CallSlot<int, const int&, int, int*, unsigned int*>(object_, slot::IsExposureComplete,
                                                              kCamera, which, complete, &unused);
}

int CameraObject::endExposure(int which, int discard, int leaveShutter) {
  return CallSlot<int, const int&, int, const int&, const int&>(object_, slot::EndExposure,
                                                                kCamera, which, discard,
                                                                leaveShutter);
}

int CameraObject::readoutLine(int which, unsigned char* buffer) {
  int a = 0, b = 0, c = 0;
  return CallSlot<int, const int&, const int&, const int&, const int&, const int&,
                  unsigned char*>(object_, slot::ReadoutLine, kCamera, which, a, b, c, buffer);
}

int CameraObject::dumpLines(int which) {
  int a = 0;
  unsigned int b = 0;
  return CallSlot<int, const int&, const int&, const int&, const unsigned int&>(
      object_, slot::DumpLines, kCamera, which, a, b);
}

int CameraObject::readoutImage(int which, int width, int height, unsigned char* buffer) {
  int unused = 0;
  return CallSlot<int, const int&, const int&, const int&, const int&, const int&,
                  unsigned char*>(object_, slot::ReadoutImage, kCamera, which, unused, width,
                                  height, buffer);
}

int CameraObject::regulateTemp(int* coolerOn, double setpoint) {
  return CallSlot<int, int&, const double&>(object_, slot::RegulateTemp, *coolerOn, setpoint);
}

int CameraObject::queryTemperature(double* temperature, double* second, char* text, int textSize,
                                   int* status, double* setpoint) {
  return CallSlot<int, double&, double&, char*, int, int&, double&>(
      object_, slot::QueryTemperature, *temperature, *second, text, textSize, *status, *setpoint);
}

int CameraObject::recommendedSetpoint(double* setpoint) {
  return CallSlot<int, double&>(object_, slot::GetRecommendedSetpoint, *setpoint);
}

int CameraObject::setFan(int fan) { return CallSlot<int, const int&>(object_, slot::SetFan, fan); }

int CameraObject::activateRelays(int l1, int l2, int l3, int l4, int wait, int stop) {
  int unused = 0;
  return CallSlot<int, const int&, const int&, const int&, const int&, const int&, const int&,
                  const int&>(object_, slot::ActivateRelays, l1, l2, l3, l4, wait, stop, unused);
}

int CameraObject::pulseOut() {
  return CallSlot<int, unsigned, int, const int&>(object_, slot::PulseOut, 0u, 0, kCamera);
}

int CameraObject::setShutter(int open) { return CallSlot<int, int>(object_, slot::SetShutter, open); }

int CameraObject::updateClock() { return CallSlot<int>(object_, slot::UpdateClock); }

int CameraObject::setImageProps(int which) {
  int a = 0;
  return CallSlot<int, const int&, const int&, const int&, void*>(object_, slot::SetImageProps,
                                                                 kCamera, which, a, nullptr);
}

int CameraObject::fullDynamicRange(int which, unsigned long* range) {
  return CallSlot<int, const int&, const int&, unsigned long&>(object_, slot::GetFullDynamicRange,
                                                               kCamera, which, *range);
}

void CameraObject::beforeDownload(int which) {
  CallSlot<void, const int&, const int&>(object_, slot::BeforeDownload, kCamera, which);
}

void CameraObject::afterDownload(int which) {
  CallSlot<void, const int&, const int&>(object_, slot::AfterDownload, kCamera, which);
}
