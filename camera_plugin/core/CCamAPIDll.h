// The camera plug-in's class, as the host application knows it: 34 virtual
// operations in a fixed order, which the host calls by slot through the
// virtual table, plus the private operations that do the work.
//
// The table must look the way Microsoft's compiler lays it out, since that is
// how the host was built: one entry for the destructor at slot 0 (the "scalar
// deleting destructor", thiscall, one flags argument, returns the object),
// then one entry per operation in declaration order. GCC would give a virtual
// destructor two entries, so slot 0 is an ordinary virtual member and the C++
// destructor stays non-virtual; the class is final so that nothing can be
// deleted through a base pointer. Every virtual member has a name of its own
// (the two compilers order overloads differently), and none returns a
// structure by value (their conventions differ there).
#pragma once

#include <atomic>
#include <cstdint>

#include "win32.h"

#if defined(_WIN32)
#if defined(CVCAM_BUILDING_DLL)
#define CVCAM_CLASS_EXPORT __declspec(dllexport)
#else
#define CVCAM_CLASS_EXPORT
#endif
#else
#define CVCAM_CLASS_EXPORT __attribute__((visibility("default")))
#endif

// The host's enumerations; 32-bit on both sides.
enum enumZZCAM2 { CorvaneKTCamera = 10000 };
enum enumWhichCCD2 { ImagingCCD = 0, TrackingCCD = 1 };
enum enumLPTPort2 { NoLPTPort = 0 };
enum enumPictureType2 {
  LightFrame = 1,
  DarkFrame = 2,
  BiasFrame = 3,
  FlatFieldFrame = 4,
  DarkFlatFrame = 5
};

// The 17-byte answer to a parameter request, kept byte for byte; the fields
// the plug-in uses are decoded little-endian by the accessors.
struct CVCCDParams {
  uint8_t bytes[17];

  unsigned width() const { return bytes[2] | (bytes[3] << 8); }
  unsigned height() const { return bytes[6] | (bytes[7] << 8); }
  unsigned bitsPerPixel() const { return bytes[14]; }
  unsigned capabilities() const { return bytes[16]; }
};
static_assert(sizeof(CVCCDParams) == 17, "CVCCDParams is 17 bytes on the wire");

// Capability bits of CVCCDParams::capabilities().
enum : unsigned {
  kCapGuidePort = 0x01,
  kCapGuideHead = 0x08,
  kCapCooler = 0x10,
  kCapShutter = 0x20,
};

// Plug-in result codes.
enum : int {
  kResultOk = 0,
  kResultNotReachable = 203,
  kResultNoMemory = 205,
  kResultMeasureFailed = 206,
  kResultReadOutstanding = 219,
};

class CVCAM_CLASS_EXPORT CCamAPIDll final {
 public:
  enum ReadoutMode {
    Automatic = 0,
    Progressive = 1,
    StaggeredFields = 2,
    Fast = 3,
    Interlaced = 4,
  };

  // One exposure, from the chip-size query to the readout.
  struct Exposure {
    int32_t mode = Automatic;
    uint16_t x = 0;
    uint16_t y = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t exposureMs = 0;
    uint32_t endTick = 0;
    uint32_t lastClearTick = 0;
    uint8_t fieldSelector = 1;
    int32_t resample = 0;
    int32_t dumped = 0;
    int32_t model = 0;
    uint8_t xBin = 1;
    uint8_t yBin = 1;
  };

  CCamAPIDll();
  CCamAPIDll(const CCamAPIDll& other);
  CCamAPIDll& operator=(const CCamAPIDll& other);
  // Not virtual: the host destroys objects through slot 0.
  ~CCamAPIDll();

  // ---- The host's virtual table, slot by slot ----
  /* 0 */ virtual void* ScalarDeletingDestructor(unsigned int flags);
  /* 1 */ virtual enumZZCAM2 GetCameraId();
  /* 2 */ virtual void SetCameraId(enumZZCAM2 id);
  /* 3 */ virtual int GetLinked();
  /* 4 */ virtual void SetLinked(int linked);
  /* 5 */ virtual void GetDisplayName(char* buffer, int size);
  /* 6 */ virtual int GetVersion();
  /* 7 */ virtual int GetLineReadout();
  /* 8 */ virtual int CCSettings(const enumZZCAM2& camera, const enumWhichCCD2& which);
  /* 9 */ virtual int CCEstablishLink(enumLPTPort2 port, const int& address, enumZZCAM2 camera,
                                      enumZZCAM2& cameraOut, int flags, int& status);
  /* 10 */ virtual int CCDisconnect(int switchCoolerOff);
  /* 11 */ virtual int CCGetChipSize(const enumZZCAM2& camera, const enumWhichCCD2& which,
                                     const int& binX, const int& binY, const int& unused,
                                     int& width, int& height, int& unusedOut);
  /* 12 */ virtual int CCGetNumBins(const enumZZCAM2& camera, const enumWhichCCD2& which,
                                    int& count);
  /* 13 */ virtual int CCGetBinSizeFromIndex(const enumZZCAM2& camera, const enumWhichCCD2& which,
                                             const int& index, long& binX, long& binY);
  /* 14 */ virtual int CCSetBinnedSubFrame(const enumZZCAM2& camera, const enumWhichCCD2& which,
                                           const int& left, const int& top, const int& right,
                                           const int& bottom);
  /* 15 */ virtual void CCMakeExposureState(int* state, enumZZCAM2 camera, int a, int b, int c,
                                            int d);
  /* 16 */ virtual int CCStartExposure(const enumZZCAM2& camera, enumWhichCCD2 which,
                                       const double& seconds, enumPictureType2 pictureType,
                                       const int& unused, const int& leaveShutter);
  /* 17 */ virtual int CCIsExposureComplete(const enumZZCAM2& camera, enumWhichCCD2 which,
                                            int* complete, unsigned int* unused);
  /* 18 */ virtual int CCEndExposure(const enumZZCAM2& camera, enumWhichCCD2 which,
                                     const int& discard, const int& leaveShutter);
  /* 19 */ virtual int CCReadoutLine(const enumZZCAM2& camera, const enumWhichCCD2& which,
                                     const int& a, const int& b, const int& c,
                                     unsigned char* buffer);
  /* 20 */ virtual int CCDumpLines(const enumZZCAM2& camera, const enumWhichCCD2& which,
                                   const int& a, const unsigned int& b);
  /* 21 */ virtual int CCReadoutImage(const enumZZCAM2& camera, const enumWhichCCD2& which,
                                      const int& unused, const int& a, const int& b,
                                      unsigned char* buffer);
  /* 22 */ virtual int CCRegulateTemp(int& coolerOn, const double& setpoint);
  /* 23 */ virtual int CCQueryTemperature(double& temperature, double& unusedOut, char* statusText,
                                          int statusTextSize, int& status, double& setpoint);
  /* 24 */ virtual int CCGetRecommendedSetpoint(double& setpoint);
  /* 25 */ virtual int CCSetFan(const int& fan);
  /* 26 */ virtual int CCActivateRelays(const int& line1, const int& line2, const int& line3,
                                        const int& line4, const int& wait, const int& stop,
                                        const int& unused);
  /* 27 */ virtual int CCPulseOut(unsigned int a, int b, const enumZZCAM2& camera);
  /* 28 */ virtual int CCSetShutter(int open);
  /* 29 */ virtual int CCUpdateClock();
  /* 30 */ virtual int CCSetImageProps(const enumZZCAM2& camera, const enumWhichCCD2& which,
                                       const int& a, void* b);
  /* 31 */ virtual int GetFullDynamicRange(const enumZZCAM2& camera, const enumWhichCCD2& which,
                                           unsigned long& range);
  /* 32 */ virtual void BeforeDownload(const enumZZCAM2& camera, const enumWhichCCD2& which);
  /* 33 */ virtual void AfterDownload(const enumZZCAM2& camera, const enumWhichCCD2& which);

  // ---- Public, non-virtual ----
  int FindCameras();
  Exposure* GetMainExposure();
  void SetMainExposure(Exposure* exposure);

 private:
  friend struct CCamAPIDllTestAccess;
  friend void CvTestSetImagingModeImpl(CCamAPIDll&, int);
  friend INT_PTR CALLBACK ImagerDialogProc(HWND, UINT, WPARAM, LPARAM);
  friend INT_PTR CALLBACK GuiderDialogProc(HWND, UINT, WPARAM, LPARAM);

  // Discovery and opening (camera_plugin/core)
  int OpenCamera(int slot);

  // Command protocol (camera_plugin/core)
  int Send(const unsigned char* bytes, unsigned long count);
  int Reset();
  uint16_t GetModel();
  int GetCCDParameters(CVCCDParams& out);
  int GetGDRParameters(CVCCDParams& out);
  uint32_t GetFirmwareVersion();
  uint32_t GetTimer();
  void SetTimer(Exposure& exposure);
  int ClearRegisters(unsigned char sel);
  int WipePixels(unsigned char sel);
  int SetTetrel(unsigned char bits);
  unsigned char SensorSelector() const;
  // Sends a block and reads a reply of `length` bytes into `reply` (zeroed
  // first); returns 0 when the write failed, else the read's result.
  int Exchange(const unsigned char* block, unsigned long count, void* reply,
               unsigned long length);

  // Frame geometry (camera_plugin/readout)
  int GetVertScaleFactor(const Exposure& exposure);

  // Read requests (camera_plugin/readout)
  int RequestReadNow(Exposure& exposure);
  int RequestDelayedRead(Exposure& exposure);

  // Exposure cycle (camera_plugin/readout)
  void ClearRegistersIfNeeded(Exposure& exposure);
  int DumpImage(Exposure& exposure);

  // Image assembly and reordering (camera_plugin/readout)
  int ReadImage(unsigned char* hostBuffer, unsigned long length, Exposure& exposure,
                enumWhichCCD2 which);
  void Resample(const unsigned short* source, int sourceWidth, int sourceHeight,
                unsigned short* destination, int destinationWidth, int destinationHeight);
  void AdjustT9(unsigned char* buffer, int width, int height);
  void AdjustR31(unsigned char* source, unsigned char* destination, int width, int height);
  void AdjustR32(unsigned char* destination, unsigned char* field1, unsigned char* field2,
                 int width, int height);

  // Cooler, shutter (camera_plugin/hardware)
  uint16_t ProcessCooler(uint16_t word);
  void ProcessShutter(int open);

  // ---- Members, in declaration order ----
  int m_linked;
  enumZZCAM2 m_cameraId;
  int m_imagingMode;
  enumWhichCCD2 m_whichCcd;
  int m_slotProductIndex[4];
  int m_slotState[4];
  int m_slotModelCode[4];
  char m_slotPath[4][100];
  int m_selectedSlot;
  int m_instanceIndex;
  int m_attachedGuider;
  int m_useAO;
  HANDLE m_device;
  CVCCDParams m_imagerParams;
  CVCCDParams m_guiderParams;
  int m_model;
  uint32_t m_firmwareVersion;
  int m_progressive;
  uint32_t m_fullReadMs;
  uint32_t m_subframeReadMs;
  uint32_t m_fullFrameBytes;
  uint32_t m_spinnerPhase;
  double m_msPerByte;
  double m_ccdTemperature;
  double m_setpoint;
  int m_coolerOn;
  int m_coolerStatus;
  int m_hasGuideHead;
  int m_hasGuidePort;
  int m_hasCooler;
  int m_hasShutter;
  int m_connected;
  int m_readInProgress;
  int m_delayedReadPending;
  Exposure* m_mainExposure;
};

extern "C" {
#if defined(_WIN32)
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
#endif
int CamAPIGetDisplayName(char* buffer, int size);
int CamAPIGetDeviceId(enumZZCAM2* out);
CCamAPIDll* AllocObject();
}
