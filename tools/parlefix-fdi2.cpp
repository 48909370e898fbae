#include "tools/settings.h"

int main(int argc, char** argv) { return patch_main(kParlefixFdi2, argc, argv); }
