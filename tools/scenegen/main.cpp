// scenegen OUT.3ds: writes the ball scene.
#include <cstdio>
#include "tools/scenegen/scenegen.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: scenegen OUT.3ds\n");
    return 2;
  }
  const std::vector<uint8_t> bytes = scenegen_build();
  FILE* f = std::fopen(argv[1], "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
    std::fprintf(stderr, "scenegen: cannot write %s\n", argv[1]);
    return 1;
  }
  std::fclose(f);
  return 0;
}
