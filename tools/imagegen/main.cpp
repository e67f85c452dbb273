// imagegen PHOTO.png FONT.ttf OUTDIR: writes portrait.pgm, portrait_b.pgm, strips.pgm and
// start_screen.pgm, and the icon drawn from the first portrait and the title,
// OUTDIR/icons/driftlight-SIZE.png.
#include <cstdio>
#include <string>

#include "assets/icon.h"
#include "tools/imagegen/imagegen.h"

namespace {
bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: imagegen PHOTO.png FONT.ttf OUTDIR\n");
    return 2;
  }
  Rgb photo;
  if (!imagegen_load_png(argv[1], photo) || photo.width != 512 || photo.height != 512) {
    std::fprintf(stderr, "imagegen: %s is not the 512 x 512 photograph\n", argv[1]);
    return 1;
  }
  const std::vector<uint8_t> strips = imagegen_strips(argv[2]);
  if (strips.empty()) {
    std::fprintf(stderr, "imagegen: cannot use the font %s\n", argv[2]);
    return 1;
  }
  const std::string dir = argv[3];
  const std::vector<uint8_t> portrait = imagegen_portrait(photo);
  bool ok =
      write_file(dir + "/portrait.pgm", imagegen_pgm(portrait, kPortraitSize, kPortraitSize)) &&
      write_file(dir + "/portrait_b.pgm",
                 imagegen_pgm(imagegen_portrait_b(photo), kPortraitSize, kPortraitSize)) &&
      write_file(dir + "/strips.pgm",
                 imagegen_pgm(strips, kStripWidth, kStripHeight * kStripCount)) &&
      write_file(dir + "/start_screen.pgm", imagegen_pgm(imagegen_start_screen(argv[2]),
                                                         kStartScreenWidth, kStartScreenHeight));
  for (int size : kIconSizes) {
    const std::vector<uint8_t> png = imagegen_icon_png(portrait.data(), strips.data(), size);
    ok = ok && !png.empty() &&
         write_file(dir + "/icons/driftlight-" + std::to_string(size) + ".png", png);
  }
  if (!ok) {
    std::fprintf(stderr, "imagegen: cannot write into %s\n", argv[3]);
    return 1;
  }
  return 0;
}
