#include "tools/settings.h"

int main(int argc, char** argv) { return patch_main(kParlefixFdi3, argc, argv); }
