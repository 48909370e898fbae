#include "tools/settings.h"

int main(int argc, char** argv) { return dump_main(kParledumpFdi, argc, argv); }
