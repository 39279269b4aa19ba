// The PNG preview through libpng (native build only).
#include <png.h>

#include <cstdio>

#include "frame_files.h"

bool WritePngPreview(const std::string& path, const Frame& frame, std::string* error) {
  if (frame.width <= 0 || frame.height <= 0) {
    if (error) *error = "no image to preview";
    return false;
  }
  std::vector<uint8_t> grey = StretchForPreview(frame);
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) {
    if (error) *error = "cannot create " + path;
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    std::fclose(out);
    if (error) *error = "libpng could not start";
    return false;
  }
  // libpng reports errors by longjmp; nothing with a destructor lives below.
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(out);
    if (error) *error = "cannot write " + path;
    return false;
  }
  png_init_io(png, out);
  png_set_IHDR(png, info, static_cast<png_uint_32>(frame.width),
               static_cast<png_uint_32>(frame.height), 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < frame.height; ++y)
    png_write_row(png, grey.data() + static_cast<size_t>(y) * frame.width);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(out) != 0) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  return true;
}
