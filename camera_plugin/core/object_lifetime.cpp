// Construction, copying and destruction of the plug-in object, and slot 0.
#include <new>

#include "CCamAPIDll.h"
#include "module_state.h"

CCamAPIDll::CCamAPIDll()
    : m_linked(0),
      m_cameraId(CorvaneKTCamera),
      m_imagingMode(0),
      m_whichCcd(ImagingCCD),
      m_slotProductIndex{},
      m_slotState{},
      m_slotModelCode{},
      m_slotPath{},
      m_selectedSlot(0),
      m_instanceIndex(0),
      m_attachedGuider(0),
      m_useAO(0),
      m_device(INVALID_HANDLE_VALUE),
      m_imagerParams{},
      m_guiderParams{},
      m_model(0),
      m_firmwareVersion(0),
      m_progressive(0),
      m_fullReadMs(0),
      m_subframeReadMs(0),
      m_fullFrameBytes(0),
      m_spinnerPhase(0),
      m_msPerByte(0.0),
      m_ccdTemperature(0.0),
      m_setpoint(0.0),
      m_coolerOn(0),
      m_coolerStatus(0),
      m_hasGuideHead(0),
      m_hasGuidePort(0),
      m_hasCooler(0),
      m_hasShutter(0),
      m_connected(0),
      m_readInProgress(0),
      m_delayedReadPending(0),
      m_mainExposure(nullptr) {
  m_imagingMode = 0;
  m_device = INVALID_HANDLE_VALUE;
  m_progressive = 0;
  m_fullReadMs = 0;
  m_mainExposure = nullptr;

  enumZZCAM2 id = CorvaneKTCamera;
  CamAPIGetDeviceId(&id);
  m_cameraId = id;
  m_linked = 0;

  // The first object of the process becomes the imager (index 0), the second
  // the one that may drive the imager camera's guide head (index 1). Later
  // objects get no index of their own and keep the zero every member starts
  // with, so they can never become an attached guider.
  int count = g_instanceCount;
  if (count < 2) m_instanceIndex = count;

  for (int k = 0; k < 4; ++k) {
    m_slotProductIndex[k] = -1;
    m_slotState[k] = 0;
    m_slotModelCode[k] = 0;
  }

  g_instanceCount = count + 1;

  m_whichCcd = ImagingCCD;
  m_selectedSlot = 0;
  m_ccdTemperature = 21.0;
  m_setpoint = 5.0;
  m_coolerStatus = 0;
  m_attachedGuider = 1;
  m_connected = 0;
  m_hasGuideHead = 0;
  m_hasGuidePort = 0;
  m_hasCooler = 0;
  m_hasShutter = 0;
  m_readInProgress = 0;
  m_delayedReadPending = 0;
}

// A copy shares the source's device handle and exposure record and keeps its
// index; the count of objects built does not change.
CCamAPIDll::CCamAPIDll(const CCamAPIDll& other) = default;

CCamAPIDll& CCamAPIDll::operator=(const CCamAPIDll& other) = default;

// Releases nothing but the object: the device handle and the exposure record
// may be shared with copies, and the host closes the device through
// CCDisconnect.
CCamAPIDll::~CCamAPIDll() = default;

// Slot 0, laid out as Microsoft's scalar deleting destructor: destroy, and
// free the storage too when bit 0 of the flags is set.
void* CCamAPIDll::ScalarDeletingDestructor(unsigned int flags) {
  this->~CCamAPIDll();
  if (flags & 1u) ::operator delete(static_cast<void*>(this));
  return this;
}
