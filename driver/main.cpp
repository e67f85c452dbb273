// The show takes no arguments and reads no configuration.
#include "driver/show.h"

int main() { return show_main(); }
