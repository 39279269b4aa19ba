// The maker's products: the product identifier that stands in a camera's
// device path, the name the dialogs show and the model code.
#pragma once

#include <cstdint>

struct ProductRow {
  char key[8];    // 4 upper-case hexadecimal characters, NUL-terminated
  char name[16];  // display name, NUL-terminated
  int32_t modelCode;
};

constexpr int kProductRows = 48;
extern const ProductRow ProductTable[kProductRows];

// Row of the first key equal to the 4 characters at `pid` (compared as
// given), or -1.
int FindProductRow(const char* pid);

// Display name of a row, or a clear text for a row index outside the table
// (a maker's camera whose product identifier is in no row).
const char* ProductDisplayName(int row);

// Model code of a row, or 0 outside the table.
int ProductModelCode(int row);

// The text shown for a usable camera whose product identifier is in no row.
extern const char kUnknownProductName[];
