#include "tools/cli/whole_number.h"

#include <cerrno>
#include <cstdlib>

bool cli_whole_number(const char* text, long lo, long hi, long* out) {
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || n < lo || n > hi) return false;
  *out = n;
  return true;
}
