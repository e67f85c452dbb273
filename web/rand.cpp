// rand and srand with the C library of the desktop build's sequence, in place of Emscripten's
// own. The show draws from the unseeded generator (the player's reset, the ball scene, a
// scene's flicker), so its pictures depend on the exact sequence: with this generator the page
// computes the same frames as the native program.
//
// The generator: 34 words seeded from the seed by a Lehmer step (16807, modulo 2^31 - 1), then
// r[i] = r[i - 31] + r[i - 3] modulo 2^32; the first 310 results are dropped and each later one
// is returned shifted right by one.
#include <cstdint>
#include <cstdlib>

namespace {

struct AdditiveGenerator {
  uint32_t r[34];
  int at = 0;  // the oldest of the 34 newest words, in a ring
  bool seeded = false;
};

AdditiveGenerator gen;

uint32_t next_word() {
  // r[i] = r[i - 31] + r[i - 3]: in a ring of 34 words, i - 31 is at + 3 and i - 3 is at + 31.
  const uint32_t v = gen.r[(gen.at + 3) % 34] + gen.r[(gen.at + 31) % 34];
  gen.r[gen.at] = v;
  gen.at = (gen.at + 1) % 34;
  return v;
}

void seed(unsigned int s) {
  if (s == 0) s = 1;
  int32_t word = static_cast<int32_t>(s);
  gen.r[0] = static_cast<uint32_t>(word);
  for (int i = 1; i < 31; ++i) {
    // 16807 * word mod (2^31 - 1) without overflow (Schrage's method).
    const int32_t hi = word / 127773;
    const int32_t lo = word % 127773;
    word = 16807 * lo - 2836 * hi;
    if (word < 0) word += 2147483647;
    gen.r[i] = static_cast<uint32_t>(word);
  }
  for (int i = 31; i < 34; ++i) gen.r[i] = gen.r[i - 31];
  gen.at = 0;
  for (int i = 34; i < 344; ++i) next_word();
  gen.seeded = true;
}

}  // namespace

extern "C" void srand(unsigned int s) { seed(s); }

extern "C" int rand() {
  if (!gen.seeded) seed(1);
  return static_cast<int>(next_word() >> 1);
}
