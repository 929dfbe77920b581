#include "tb_test_util.h"

#include <cstdio>
#include <filesystem>

namespace tbtest {

std::string makeTempDir() {
  char pattern[] = "/tmp/vorlak_tb_XXXXXX";
  const char* dir = mkdtemp(pattern);
  return dir ? std::string(dir) : std::string();
}

void removeTree(const std::string& dir) {
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

}  // namespace tbtest
