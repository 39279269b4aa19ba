#include "product_table.h"

#include <cstring>

// Rows are searched in order and the first equal key wins, so a row whose key
// repeats an earlier one (6, 27, 35, 39, 41 to 47) is never selected.
const ProductRow ProductTable[kProductRows] = {
    {"FFFF", "Attached", 0},    {"0A21", "TQ2", 5},         {"0C21", "TQ2C", 133},
    {"0A23", "TQ4", 9},         {"0C23", "TQ4C", 137},      {"0A30", "T21", 16},
    {"0A30", "T21C", 144},      {"0A32", "T23", 18},        {"0A41", "T41", 35},
    {"0C41", "T41C", 181},      {"0A43", "T43", 36},        {"0C43", "T43C", 182},
    {"0A12", "RQ2", 69},        {"0C12", "RQ2C", 132},      {"0A13", "RQ3", 71},
    {"0C13", "RQ3C", 199},      {"0A14", "RQ4", 72},        {"0C14", "RQ4C", 200},
    {"0A16", "RQ6", 73},        {"0C52", "R31", 89},        {"0C53", "R32", 90},
    {"0E11", "Pellion", 70},    {"0E12", "Duvane", 39},     {"0D00", "USB2-LK", 0},
    {"0E13", "Skellan", 9},     {"0A62", "T512", 86},       {"0A64", "T518", 87},
    {"0A43", "T520", 88},       {"0C62", "512C", 182},      {"0C64", "518C", 183},
    {"0A66", "540", 40},        {"0C66", "540C", 168},      {"0A71", "T550", 59},
    {"0C71", "T550C", 187},     {"0E15", "Orthane", 60},    {"0E15", "Orthane-C", 188},
    {"0A73", "T560", 41},       {"0C73", "T560C", 169},     {"0A25", "T25", 17},
    {"0A25", "T25C", 145},      {"0000", "40", 0},          {"0000", "41", 0},
    {"0000", "42", 0},          {"0000", "43", 0},          {"0000", "44", 0},
    {"0000", "45", 0},          {"0000", "46", 0},          {"0000", "47", 0},
};

const char kUnknownProductName[] = "Unknown camera";

int FindProductRow(const char* pid) {
  for (int r = 0; r < kProductRows; ++r)
    if (std::strncmp(ProductTable[r].key, pid, 4) == 0 && std::strlen(pid) >= 4) return r;
  return -1;
}

const char* ProductDisplayName(int row) {
  if (row < 0 || row >= kProductRows) return kUnknownProductName;
  return ProductTable[row].name;
}

int ProductModelCode(int row) {
  if (row < 0 || row >= kProductRows) return 0;
  return ProductTable[row].modelCode;
}
