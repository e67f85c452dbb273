// The show takes one option, --gentle (and --help), and reads no configuration.
#include "driver/show.h"

int main(int argc, char** argv) {
  const int status = show_options(argc, argv);
  return status >= 0 ? status : show_main();
}
