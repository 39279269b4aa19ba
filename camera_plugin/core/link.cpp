// The link to one camera: the attached-guider decision, opening the device,
// the camera's model and sensor parameters, the capabilities and scan type
// they imply, and, for an interlaced sensor, a timed read of one full field
// so that later readouts can be timed.
#include <cstdint>
#include <new>

#include "CCamAPIDll.h"
#include "module_state.h"

namespace {
// Interlaced sensors: bit 0x40 of the model code, or 132; the 86..89 family
// has the bit set but is progressive.
int ProgressiveForModel(int model) {
  int progressive = 1;
  if ((model & 0x40) != 0 || model == 132) progressive = 0;
  if (model >= 86 && model <= 89) progressive = 1;
  return progressive;
}
}  // namespace

int CCamAPIDll::CCEstablishLink(enumLPTPort2, const int&, enumZZCAM2, enumZZCAM2&, int, int&) {
  if (m_slotState[0] == 0) FindCameras();

  // An object other than the first that still wants the guide head drives
  // the imager's camera, through a handle of its own.
  const bool attached = m_instanceIndex != 0 && m_attachedGuider != 0;
  if (attached) {
    m_selectedSlot = g_imagerSlot;
    g_sharedDevice = 1;
  } else {
    m_attachedGuider = 0;
    g_sharedDevice = 0;
  }

  if (m_connected) return kResultOk;
  if (!OpenCamera(m_selectedSlot)) return kResultNotReachable;

  m_hasGuideHead = 0;
  m_hasGuidePort = 0;
  m_hasCooler = 0;
  m_hasShutter = 0;

  Reset();
  m_model = GetModel();
  int r = GetCCDParameters(m_imagerParams);
  if (r == 0) {
    // Not linked: give the handle back now rather than keep it open until a
    // disconnect. The slot stays opened (state 3), so a further link is
    // refused the same way until a disconnect or a discovery resets it.
    CloseHandle(m_device);
    m_device = INVALID_HANDLE_VALUE;
    return kResultNotReachable;
  }
  m_connected = 1;

  const unsigned caps = m_imagerParams.capabilities();
  if ((caps & kCapGuideHead) != 0 || attached) {
    m_hasGuideHead = 0;
    r = GetGDRParameters(m_guiderParams);
    if (r != 0) m_hasGuideHead = 1;
  }
  if (caps & kCapGuidePort) m_hasGuidePort = 1;
  if (!attached) {
    if (caps & kCapCooler) m_hasCooler = 1;
    if (caps & kCapShutter) m_hasShutter = 1;
  }

  uint64_t bytes;
  if (attached) {
    m_progressive = 1;
    bytes = static_cast<uint64_t>(m_guiderParams.width()) * m_guiderParams.height() * 2;
  } else {
    m_progressive = ProgressiveForModel(m_model);
    bytes = static_cast<uint64_t>(m_imagerParams.bitsPerPixel() / 8) * m_imagerParams.height() *
            m_imagerParams.width();
  }
  // A count that does not fit 32 bits is refused (0) rather than wrapped
  // into a short buffer.
  m_fullFrameBytes = bytes > 0xFFFFFFFFull ? 0 : static_cast<uint32_t>(bytes);
  m_firmwareVersion = GetFirmwareVersion();

  if (m_progressive == 1) return r != 0 ? kResultOk : kResultNotReachable;

  // Interlaced: time one read of a full field.
  if (m_fullFrameBytes == 0) return kResultMeasureFailed;  // nothing to time
  unsigned char* buffer = new (std::nothrow) unsigned char[m_fullFrameBytes];
  if (buffer == nullptr) {
    m_fullReadMs = 0;
    return kResultNoMemory;
  }
  Exposure timing;
  timing.mode = StaggeredFields;
  timing.x = 0;
  timing.y = 0;
  timing.width = static_cast<uint16_t>(m_imagerParams.width());
  timing.height = static_cast<uint16_t>(2 * m_imagerParams.height());
  timing.fieldSelector = 2;
  timing.model = m_model;
  RequestReadNow(timing);

  const DWORD t0 = GetTickCount();
  DWORD got = 0;
  const BOOL ok = ReadFile(m_device, buffer, m_fullFrameBytes, &got, nullptr);
  delete[] buffer;
  m_fullReadMs = static_cast<uint32_t>(GetTickCount() - t0);
  // Give the read lock back if this request took it, whatever
  // g_sharedDevice says by now: the other object may have linked meanwhile.
  ReleaseReadLockHeldBy(this);

  if (m_fullReadMs == 0) return kResultMeasureFailed;
  if (m_fullFrameBytes == 0) return kResultMeasureFailed;
  m_msPerByte = static_cast<double>(m_fullReadMs) / static_cast<double>(m_fullFrameBytes);
  return ok ? kResultOk : kResultNotReachable;
}
