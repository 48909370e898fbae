// make-sample-disk DIR: writes the sample Wealdmoor disk into DIR in both forms, under
// the names the patch tools read by default: K7_Wealdmor.fdi (4096-byte FDI container
// header, then the 1232 KiB volume) and k7-wealdmoor.xdf (the same volume alone).
#include <cstdio>
#include <exception>
#include <string>

#include "sample/sample_disk.h"
#include "tools/settings.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: make-sample-disk DIR\n");
    return 1;
  }
  const std::string dir = argv[1];
  try {
    const std::vector<sample::SampleFile> files = sample::sample_files();
    sample::sample_image(true, files).write(dir + "/" + kFdiDefaultImage);
    sample::sample_image(false, files).write(dir + "/" + kXdfDefaultImage);
  } catch (const std::exception& e) {
    std::printf("make-sample-disk: %s\n", e.what());
    return 1;
  }
  return 0;
}
