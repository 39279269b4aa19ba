// Lets tests look inside a plug-in object and call its private operations.
#pragma once

#include "CCamAPIDll.h"

struct CCamAPIDllTestAccess {
  using Exposure = CCamAPIDll::Exposure;
  static int& linked(CCamAPIDll& o) { return o.m_linked; }
  static int& imagingMode(CCamAPIDll& o) { return o.m_imagingMode; }
  static enumWhichCCD2& whichCcd(CCamAPIDll& o) { return o.m_whichCcd; }
  static int* slotProductIndex(CCamAPIDll& o) { return o.m_slotProductIndex; }
  static int* slotState(CCamAPIDll& o) { return o.m_slotState; }
  static int* slotModelCode(CCamAPIDll& o) { return o.m_slotModelCode; }
  static const char* slotPath(CCamAPIDll& o, int k) { return o.m_slotPath[k]; }
  static char* slotPathMutable(CCamAPIDll& o, int k) { return o.m_slotPath[k]; }
  static int& selectedSlot(CCamAPIDll& o) { return o.m_selectedSlot; }
  static int& instanceIndex(CCamAPIDll& o) { return o.m_instanceIndex; }
  static int& attachedGuider(CCamAPIDll& o) { return o.m_attachedGuider; }
  static int& useAO(CCamAPIDll& o) { return o.m_useAO; }
  static HANDLE& device(CCamAPIDll& o) { return o.m_device; }
  static CVCCDParams& imagerParams(CCamAPIDll& o) { return o.m_imagerParams; }
  static CVCCDParams& guiderParams(CCamAPIDll& o) { return o.m_guiderParams; }
  static int& model(CCamAPIDll& o) { return o.m_model; }
  static uint32_t& firmwareVersion(CCamAPIDll& o) { return o.m_firmwareVersion; }
  static int& progressive(CCamAPIDll& o) { return o.m_progressive; }
  static uint32_t& fullReadMs(CCamAPIDll& o) { return o.m_fullReadMs; }
  static uint32_t& subframeReadMs(CCamAPIDll& o) { return o.m_subframeReadMs; }
  static uint32_t& fullFrameBytes(CCamAPIDll& o) { return o.m_fullFrameBytes; }
  static uint32_t& spinnerPhase(CCamAPIDll& o) { return o.m_spinnerPhase; }
  static double& msPerByte(CCamAPIDll& o) { return o.m_msPerByte; }
  static double& ccdTemperature(CCamAPIDll& o) { return o.m_ccdTemperature; }
  static double& setpoint(CCamAPIDll& o) { return o.m_setpoint; }
  static int& coolerOn(CCamAPIDll& o) { return o.m_coolerOn; }
  static int& coolerStatus(CCamAPIDll& o) { return o.m_coolerStatus; }
  static int& hasGuideHead(CCamAPIDll& o) { return o.m_hasGuideHead; }
  static int& hasGuidePort(CCamAPIDll& o) { return o.m_hasGuidePort; }
  static int& hasCooler(CCamAPIDll& o) { return o.m_hasCooler; }
  static int& hasShutter(CCamAPIDll& o) { return o.m_hasShutter; }
  static int& connected(CCamAPIDll& o) { return o.m_connected; }
  static int& readInProgress(CCamAPIDll& o) { return o.m_readInProgress; }
  static int& delayedReadPending(CCamAPIDll& o) { return o.m_delayedReadPending; }
  static Exposure*& mainExposure(CCamAPIDll& o) { return o.m_mainExposure; }

  static int OpenCamera(CCamAPIDll& o, int slot) { return o.OpenCamera(slot); }
  static int Send(CCamAPIDll& o, const unsigned char* b, unsigned long n) { return o.Send(b, n); }
  static int Reset(CCamAPIDll& o) { return o.Reset(); }
  static uint16_t GetModel(CCamAPIDll& o) { return o.GetModel(); }
  static int GetCCDParameters(CCamAPIDll& o, CVCCDParams& p) { return o.GetCCDParameters(p); }
  static int GetGDRParameters(CCamAPIDll& o, CVCCDParams& p) { return o.GetGDRParameters(p); }
  static uint32_t GetFirmwareVersion(CCamAPIDll& o) { return o.GetFirmwareVersion(); }
  static uint32_t GetTimer(CCamAPIDll& o) { return o.GetTimer(); }
  static void SetTimer(CCamAPIDll& o, Exposure& e) { o.SetTimer(e); }
  static int ClearRegisters(CCamAPIDll& o, unsigned char s) { return o.ClearRegisters(s); }
  static int WipePixels(CCamAPIDll& o, unsigned char s) { return o.WipePixels(s); }
  static int SetTetrel(CCamAPIDll& o, unsigned char b) { return o.SetTetrel(b); }
  static int GetVertScaleFactor(CCamAPIDll& o, const Exposure& e) { return o.GetVertScaleFactor(e); }
  static int RequestReadNow(CCamAPIDll& o, Exposure& e) { return o.RequestReadNow(e); }
  static int RequestDelayedRead(CCamAPIDll& o, Exposure& e) { return o.RequestDelayedRead(e); }
  static void ClearRegistersIfNeeded(CCamAPIDll& o, Exposure& e) { o.ClearRegistersIfNeeded(e); }
  static int DumpImage(CCamAPIDll& o, Exposure& e) { return o.DumpImage(e); }
  static int ReadImage(CCamAPIDll& o, unsigned char* b, unsigned long n, Exposure& e,
                       enumWhichCCD2 w) {
    return o.ReadImage(b, n, e, w);
  }
  static void Resample(CCamAPIDll& o, const unsigned short* s, int sw, int sh, unsigned short* d,
                       int dw, int dh) {
    o.Resample(s, sw, sh, d, dw, dh);
  }
  static void AdjustT9(CCamAPIDll& o, unsigned char* b, int w, int h) { o.AdjustT9(b, w, h); }
  static void AdjustR31(CCamAPIDll& o, unsigned char* s, unsigned char* d, int w, int h) {
    o.AdjustR31(s, d, w, h);
  }
  static void AdjustR32(CCamAPIDll& o, unsigned char* d, unsigned char* f1, unsigned char* f2,
                        int w, int h) {
    o.AdjustR32(d, f1, f2, w, h);
  }
  static uint16_t ProcessCooler(CCamAPIDll& o, uint16_t w) { return o.ProcessCooler(w); }
  static void ProcessShutter(CCamAPIDll& o, int open) { o.ProcessShutter(open); }
};

using TA = CCamAPIDllTestAccess;
