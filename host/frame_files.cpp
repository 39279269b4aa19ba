// The parts of frame writing that need no library: the raw file with its
// text header, and the preview stretch.
#include "frame_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

bool FitsAndPngAvailable() {
#if defined(CV_HAVE_FITS_PNG)
  return true;
#else
  return false;
#endif
}

#if !defined(CV_HAVE_FITS_PNG)
bool WriteFits(const std::string&, const Frame&, const FrameHeader&, std::string* error) {
  if (error) *error = "this build has no FITS writer";
  return false;
}
bool WritePngPreview(const std::string&, const Frame&, std::string* error) {
  if (error) *error = "this build has no PNG writer";
  return false;
}
#endif

bool WriteRawWithHeader(const std::string& rawPath, const std::string& headerPath,
                        const Frame& frame, const FrameHeader& header, std::string* error) {
  std::FILE* raw = std::fopen(rawPath.c_str(), "wb");
  if (!raw) {
    if (error) *error = "cannot create " + rawPath;
    return false;
  }
  std::vector<uint8_t> bytes(frame.pixels.size() * 2);
  for (size_t i = 0; i < frame.pixels.size(); ++i) {
    bytes[2 * i] = static_cast<uint8_t>(frame.pixels[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>(frame.pixels[i] >> 8);
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), raw) == bytes.size();
  ok = std::fclose(raw) == 0 && ok;
  if (!ok) {
    if (error) *error = "cannot write " + rawPath;
    return false;
  }
  std::FILE* text = std::fopen(headerPath.c_str(), "w");
  if (!text) {
    if (error) *error = "cannot create " + headerPath;
    return false;
  }
  std::fprintf(text, "# %s: %d x %d pixels, unsigned 16-bit little-endian, top row first\n",
               rawPath.c_str(), frame.width, frame.height);
  std::fprintf(text, "NAXIS1   = %d\nNAXIS2   = %d\n", frame.width, frame.height);
  std::fprintf(text, "EXPTIME  = %.6f\n", header.exposureSeconds);
  std::fprintf(text, "DATE-OBS = '%s'\n", header.dateObs.c_str());
  std::fprintf(text, "IMAGETYP = '%s'\n", header.imageType.c_str());
  std::fprintf(text, "XBINNING = %d\nYBINNING = %d\n", header.xBinning, header.yBinning);
  std::fprintf(text, "XORGSUBF = %d\nYORGSUBF = %d\n", header.xOrigin, header.yOrigin);
  std::fprintf(text, "ROWORDER = 'TOP-DOWN'\n");
  std::fprintf(text, "INSTRUME = '%s'\n", header.instrument.c_str());
  std::fprintf(text, "READOUTM = '%s'\n", header.readoutMode.c_str());
  if (header.haveTemperature)
    std::fprintf(text, "CCD-TEMP = %.2f\nSET-TEMP = %.2f\n", header.ccdTemperature,
                 header.setTemperature);
  ok = std::fclose(text) == 0;
  if (!ok && error) *error = "cannot write " + headerPath;
  return ok;
}

std::vector<uint8_t> StretchForPreview(const Frame& frame) {
  std::vector<uint8_t> out(frame.pixels.size(), 0);
  if (frame.pixels.empty()) return out;
  // Percentiles from a histogram of the 16-bit values.
  std::vector<uint32_t> histogram(65536, 0);
  for (uint16_t v : frame.pixels) ++histogram[v];
  auto percentile = [&](double p) {
    uint64_t target = static_cast<uint64_t>(p * static_cast<double>(frame.pixels.size() - 1));
    uint64_t seen = 0;
    for (int v = 0; v < 65536; ++v) {
      seen += histogram[v];
      if (seen > target) return static_cast<double>(v);
    }
    return 65535.0;
  };
  // Black two sigma below the sky, so that its noise stays dark grey; white
  // at the cores of the brightest stars; asinh keeps the faint ones visible.
  double median = percentile(0.5);
  double sigma = std::max(1.0, median - percentile(0.1587));
  double black = std::max(0.0, median - 2.0 * sigma);
  double white = std::max(percentile(0.9999), median + 40.0 * sigma);
  const double softness = 10.0;
  const double scale = 255.0 / std::asinh(softness);
  for (size_t i = 0; i < frame.pixels.size(); ++i) {
    double t = (frame.pixels[i] - black) / (white - black);
    t = std::clamp(t, 0.0, 1.0);
    out[i] = static_cast<uint8_t>(std::lround(std::asinh(softness * t) * scale));
  }
  return out;
}
