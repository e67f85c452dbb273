// The show takes one option, --gentle (and --help, --version), and reads no configuration.
#include <cstdio>
#include <cstring>

#include "driftlight_version.h"
#include "driver/show.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("driftlight %s\n", DRIFTLIGHT_VERSION);
      return 0;
    }
  }
  const int status = show_options(argc, argv);
  return status >= 0 ? status : show_main();
}
