// FITS output through cfitsio (native build only).
#include <fitsio.h>

#include "frame_files.h"

namespace {
std::string FitsError(int status) {
  char text[FLEN_STATUS] = {0};
  fits_get_errstatus(status, text);
  return text;
}
}  // namespace

bool WriteFits(const std::string& path, const Frame& frame, const FrameHeader& header,
               std::string* error) {
  if (frame.width <= 0 || frame.height <= 0 ||
      frame.pixels.size() != static_cast<size_t>(frame.width) * frame.height) {
    if (error) *error = "no image to write";
    return false;
  }
  int status = 0;
  fitsfile* file = nullptr;
  std::string name = "!" + path;  // '!' replaces an existing file
  fits_create_file(&file, name.c_str(), &status);
  if (status) {
    if (error) *error = "cannot create " + path + ": " + FitsError(status);
    return false;
  }
  long axes[2] = {frame.width, frame.height};
  // USHORT_IMG is stored as BITPIX 16 with BZERO 32768 and BSCALE 1.
  fits_create_img(file, USHORT_IMG, 2, axes, &status);

  auto text = [&](const char* key, const std::string& value, const char* comment) {
    fits_update_key(file, TSTRING, key, const_cast<char*>(value.c_str()),
                    const_cast<char*>(comment), &status);
  };
  auto integer = [&](const char* key, int value, const char* comment) {
    fits_update_key(file, TINT, key, &value, const_cast<char*>(comment), &status);
  };
  auto real = [&](const char* key, double value, int decimals, const char* comment) {
    fits_update_key_fixdbl(file, key, value, decimals, const_cast<char*>(comment), &status);
  };
  real("EXPTIME", header.exposureSeconds, 3, "[s] exposure time");
  text("DATE-OBS", header.dateObs, "UTC start of the exposure");
  text("IMAGETYP", header.imageType, "type of frame");
  integer("XBINNING", header.xBinning, "binning factor in x");
  integer("YBINNING", header.yBinning, "binning factor in y");
  integer("XORGSUBF", header.xOrigin, "subframe origin in x, binned pixels");
  integer("YORGSUBF", header.yOrigin, "subframe origin in y, binned pixels");
  text("ROWORDER", "TOP-DOWN", "order of the rows in the array");
  text("INSTRUME", header.instrument, "camera");
  text("READOUTM", header.readoutMode, "readout mode");
  if (header.haveTemperature) {
    real("CCD-TEMP", header.ccdTemperature, 2, "[C] CCD temperature at the start");
    real("SET-TEMP", header.setTemperature, 2, "[C] cooler setpoint");
  }
  text("SWCREATE", "cvhost", "program that wrote the file");

  std::vector<uint16_t> pixels = frame.pixels;  // cfitsio wants a non-const buffer
  fits_write_img(file, TUSHORT, 1, static_cast<LONGLONG>(pixels.size()), pixels.data(), &status);
  fits_write_chksum(file, &status);
  int closeStatus = 0;
  fits_close_file(file, &closeStatus);
  if (status == 0) status = closeStatus;
  if (status) {
    if (error) *error = "cannot write " + path + ": " + FitsError(status);
    return false;
  }
  return true;
}
