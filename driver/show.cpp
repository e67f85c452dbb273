// Placeholder: the driver is being written.
#include "driver/show.h"
int show_main() { return 0; }
