#include "tools/parle_main.h"

int main(int argc, char** argv) { return parle_main(argc, argv); }
