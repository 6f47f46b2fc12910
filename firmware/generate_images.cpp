// Writes the placeholder images that the tool embeds:
//   generate_images <dir>  ->  <dir>/dfu_image.bin, <dir>/main_image.bin
#include <cstdio>
#include <string>

#include "firmware/image_generator.h"

static bool Write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : ".";
  if (!Write(dir + "/dfu_image.bin", firmware::GenerateDfuImage()) ||
      !Write(dir + "/main_image.bin", firmware::GenerateMainImage(3, 0x18))) {
    std::perror("generate_images");
    return 1;
  }
  return 0;
}
