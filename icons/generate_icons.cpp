// Writes the committed icons:
//   generate_icons <dir>  ->  <dir>/handover.ico, <dir>/nibflash.ico
#include <cstdio>
#include <string>

#include "icons/icon_generator.h"

static bool Write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : ".";
  if (!Write(dir + "/handover.ico", icons::HandoverIco()) ||
      !Write(dir + "/nibflash.ico", icons::NibflashIco())) {
    std::perror("generate_icons");
    return 1;
  }
  return 0;
}
