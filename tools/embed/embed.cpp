// embed IN OUT.cpp NAME [options]: writes a C++ source that defines the byte array NAME with the
// contents of IN, and NAME_size with its length unless the array has a fixed size.
//   --writable     the array is not const (the module loader converts patterns in place)
//   --pgm          IN is a binary PGM: only its pixel bytes are kept
//   --pad N        N zero bytes follow the data in the array but are not counted in NAME_size
//   --fixed N      the array has exactly N bytes (declared so in the header); no NAME_size
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool read_file(const char* path, std::vector<unsigned char>& out) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  unsigned char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
    out.insert(out.end(), buffer, buffer + n);
  std::fclose(f);
  return true;
}

// Skips "P5", width, height and maxval (with comments) and the single whitespace byte after them.
bool strip_pgm(std::vector<unsigned char>& bytes) {
  if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '5') return false;
  size_t at = 2;
  for (int field = 0; field < 3; ++field) {
    while (at < bytes.size() && (std::isspace(bytes[at]) || bytes[at] == '#')) {
      if (bytes[at] == '#')
        while (at < bytes.size() && bytes[at] != '\n') ++at;
      else
        ++at;
    }
    if (at >= bytes.size() || !std::isdigit(bytes[at])) return false;
    while (at < bytes.size() && std::isdigit(bytes[at])) ++at;
  }
  if (at >= bytes.size()) return false;
  bytes.erase(bytes.begin(), bytes.begin() + long(at) + 1);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: embed IN OUT.cpp NAME [--writable] [--pgm] [--pad N] [--fixed N]\n");
    return 2;
  }
  bool writable = false, pgm = false;
  long pad = 0, fixed = -1;
  for (int i = 4; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--writable"))
      writable = true;
    else if (!std::strcmp(argv[i], "--pgm"))
      pgm = true;
    else if (!std::strcmp(argv[i], "--pad") && i + 1 < argc)
      pad = std::atol(argv[++i]);
    else if (!std::strcmp(argv[i], "--fixed") && i + 1 < argc)
      fixed = std::atol(argv[++i]);
    else {
      std::fprintf(stderr, "embed: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  std::vector<unsigned char> bytes;
  if (!read_file(argv[1], bytes)) {
    std::fprintf(stderr, "embed: cannot read %s\n", argv[1]);
    return 1;
  }
  if (pgm && !strip_pgm(bytes)) {
    std::fprintf(stderr, "embed: %s is not a binary PGM\n", argv[1]);
    return 1;
  }
  if (fixed >= 0 && long(bytes.size()) != fixed) {
    std::fprintf(stderr, "embed: %s holds %zu bytes, %ld expected\n", argv[1], bytes.size(), fixed);
    return 1;
  }
  const size_t data_size = bytes.size();
  bytes.resize(data_size + size_t(pad), 0);

  std::string text = "// Generated from " + std::string(argv[1]) +
                     "; do not edit.\n#include \"assets/assets.h\"\n\n";
  text += std::string(writable ? "" : "const ") + "uint8_t " + argv[3] + "[" +
          std::to_string(bytes.size()) + "] = {";
  char number[8];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(number, sizeof number, "%s%u,", i % 24 ? "" : "\n", unsigned(bytes[i]));
    text += number;
  }
  text += "\n};\n";
  if (fixed < 0)
    text += "const size_t " + std::string(argv[3]) + "_size = " + std::to_string(data_size) + ";\n";

  FILE* f = std::fopen(argv[2], "wb");
  if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "embed: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
