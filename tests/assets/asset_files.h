// Reading the committed asset files in tests.
#pragma once
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::string asset_path(const std::string& name) {
  return std::string(DRIFTLIGHT_SOURCE_DIR) + "/assets/" + name;
}

inline std::vector<uint8_t> read_asset(const std::string& name) {
  std::ifstream in(asset_path(name), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Pixel bytes of a binary PGM with a plain "P5\nW H\n255\n" header (what our tools write).
inline std::vector<uint8_t> pgm_pixels(const std::vector<uint8_t>& file, int& width, int& height) {
  width = height = 0;
  int maxval = 0, consumed = 0;
  const std::string head(file.begin(), file.begin() + std::min<size_t>(file.size(), 32));
  if (std::sscanf(head.c_str(), "P5 %d %d %d%n", &width, &height, &maxval, &consumed) != 3 ||
      maxval != 255)
    return {};
  const size_t start = size_t(consumed) + 1;
  if (file.size() != start + size_t(width) * size_t(height)) return {};
  return std::vector<uint8_t>(file.begin() + long(start), file.end());
}
