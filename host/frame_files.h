// Writing a read-out frame to disk: FITS with its header and an 8-bit PNG
// preview in the native build (cfitsio and libpng), and a raw 16-bit file
// with a text header beside it where those libraries are not available (the
// Windows build).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One frame, top row first, unpacked from the host buffer into w x h pixels.
struct Frame {
  int width = 0;
  int height = 0;
  std::vector<uint16_t> pixels;  // width * height, row after row
};

// What the header says about the frame.
struct FrameHeader {
  double exposureSeconds = 0;
  std::string dateObs;    // UTC, ISO 8601 with milliseconds, no zone letter
  std::string imageType;  // "Light Frame", "Dark Frame", "Bias Frame", "Flat Field"
  int xBinning = 1, yBinning = 1;
  int xOrigin = 0, yOrigin = 0;  // subframe origin, binned pixels
  std::string instrument;
  std::string readoutMode;
  bool haveTemperature = false;
  double ccdTemperature = 0;
  double setTemperature = 0;
};

// True when this build writes FITS and PNG files.
bool FitsAndPngAvailable();

// Writes a FITS file (16-bit unsigned through BZERO 32768). Replaces an
// existing file. False with a message on failure.
bool WriteFits(const std::string& path, const Frame& frame, const FrameHeader& header,
               std::string* error);

// Writes an 8-bit grey PNG with an asinh stretch between a low percentile
// (the sky) and a high one, so that faint stars show and bright ones do not
// burn out.
bool WritePngPreview(const std::string& path, const Frame& frame, std::string* error);

// Writes the pixels as raw little-endian 16-bit samples and, at
// `headerPath`, the header as KEY = value lines.
bool WriteRawWithHeader(const std::string& rawPath, const std::string& headerPath,
                        const Frame& frame, const FrameHeader& header, std::string* error);

// The 8-bit preview values of a frame (exposed for the PNG writer and tests).
std::vector<uint8_t> StretchForPreview(const Frame& frame);
