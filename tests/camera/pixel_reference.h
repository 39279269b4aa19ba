// Plain, slow restatements of the pixel formulas, written for clarity and
// nothing else: the plug-in's routines are checked against them on random
// data. Samples are unsigned 16-bit little-endian in byte vectors.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace ref {

using Bytes = std::vector<uint8_t>;

inline uint16_t Get(const Bytes& b, size_t i) {
  return static_cast<uint16_t>(b[2 * i] | (b[2 * i + 1] << 8));
}
inline void Put(Bytes& b, size_t i, uint16_t v) {
  b[2 * i] = static_cast<uint8_t>(v);
  b[2 * i + 1] = static_cast<uint8_t>(v >> 8);
}
inline Bytes Samples(std::initializer_list<uint16_t> v) {
  Bytes b(2 * v.size());
  size_t i = 0;
  for (uint16_t s : v) Put(b, i++, s);
  return b;
}
inline Bytes Random(size_t bytes, uint32_t seed) {
  std::mt19937 gen(seed);
  Bytes b(bytes);
  for (auto& x : b) x = static_cast<uint8_t>(gen());
  return b;
}

// Model 89: delivered line m of 2w samples -> rows 2m (even samples) and
// 2m + 1 (odd samples). Rows past the whole delivered lines stay as `fill`.
inline Bytes R31(const Bytes& src, int w, int h, uint8_t fill = 0) {
  Bytes dst(2 * size_t(w) * h, fill);
  for (int m = 0; 2 * m + 1 < h; ++m)
    for (int k = 0; k < w; ++k) {
      Put(dst, size_t(2 * m) * w + k, Get(src, size_t(m) * 2 * w + 2 * k));
      Put(dst, size_t(2 * m + 1) * w + k, Get(src, size_t(m) * 2 * w + 2 * k + 1));
    }
  return dst;
}

// Model 90, literally: a column-major working image filled pass by pass,
// then written out row by row. Out-of-frame rows are dropped and no field is
// read past its (W / 2) * H samples.
inline Bytes R32(const Bytes& f1, const Bytes& f2, int W, int H) {
  std::vector<uint16_t> work(size_t(W) * H, 0);  // work[c * H + r]
  const long P = long(W / 2) * H;
  for (int field = 0; field < 2; ++field) {
    const Bytes& src = field == 0 ? f1 : f2;
    long taken = 0;
    for (int k = 0; taken < P; ++k) {
      for (int c = field; field == 0 ? c < W - 1 : c < W; c += 2) {
        const int rows[4] = {4 * k, H - 1 - 4 * k, 4 * k + 2, H - 3 - 4 * k};
        for (int q = 0; q < 4; ++q) {
          const long idx = taken++;
          if (idx >= P || rows[q] < 0 || rows[q] >= H) continue;
          work[size_t(c) * H + rows[q]] = Get(src, idx);
        }
      }
    }
  }
  Bytes dst(2 * size_t(W) * H);
  for (int r = 0; r < H; ++r)
    for (int c = 0; c < W; ++c) Put(dst, size_t(r) * W + c, work[size_t(c) * H + r]);
  return dst;
}

// Black level of the 16 reference columns, rows closed up to w - 16 samples.
inline Bytes T9(const Bytes& in, int w, int h) {
  Bytes out;
  for (int r = 0; r < h; ++r) {
    if (w <= 16) continue;
    uint16_t even = 0, odd = 0;
    for (int j = 0; j < 16; ++j) {
      uint16_t v = Get(in, size_t(r) * w + j);
      if (j % 2) odd = uint16_t(odd + v); else even = uint16_t(even + v);
    }
    even >>= 3;
    odd >>= 3;
    for (int j = 16; j < w; ++j) {
      uint16_t v = Get(in, size_t(r) * w + j);
      uint16_t l = j % 2 ? odd : even;
      uint16_t o = v > l ? uint16_t(v - l) : 0;
      out.push_back(uint8_t(o));
      out.push_back(uint8_t(o >> 8));
    }
  }
  return out;
}

// The bilinear stretch in double precision, left to right; a neighbour below
// the last row or right of the last column is the last row or column.
// Destination rows start every pad8(dw) samples; cells between rows stay as
// `fill` bytes.
inline Bytes Resample(const Bytes& src, int sw, int sh, int dw, int dh, uint8_t fill = 0xAA) {
  const size_t stride = (size_t(dw) + 7) & ~size_t(7);
  Bytes dst(2 * (stride * (dh - 1) + dw), fill);
  const double kx = double(dw) / sw, ky = double(dh) / sh;
  auto at = [&](int r, int q) {
    if (r > sh - 1) r = sh - 1;
    if (q > sw - 1) q = sw - 1;
    return double(Get(src, size_t(r) * sw + q));
  };
  for (int i = 0; i < dh; ++i) {
    double fy = i / ky;
    int y0 = int(fy);
    double ty = fy - std::floor(fy);
    for (int j = 0; j < dw; ++j) {
      double fx = j / kx;
      int x0 = int(fx);
      double tx = fx - std::floor(fx);
      double v = at(y0, x0) * (1 - tx) * (1 - ty) + at(y0 + 1, x0) * (1 - tx) * ty +
                 at(y0, x0 + 1) * tx * (1 - ty) + at(y0 + 1, x0 + 1) * tx * ty;
      Put(dst, size_t(i) * stride + j, uint16_t(int64_t(v) & 0xFFFF));
    }
  }
  return dst;
}

}  // namespace ref
