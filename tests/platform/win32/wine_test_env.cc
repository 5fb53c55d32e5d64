// WineTestEnv: the variables set by tools/wine/run-test.sh.
#include "platform/win32/wine_test_env.h"

#include <cstdlib>
#include <stdexcept>

#include "support/temp_dir.h"

namespace velmorin::test_support {
namespace {

std::string Required(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') {
    throw std::runtime_error(std::string(name) + " is not set: run the test through tools/wine/run-test.sh");
  }
  return value;
}

std::string Optional(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? "" : value;
}

}  // namespace

std::filesystem::path WindowsPath(const std::string& build_path) {
  if (build_path.empty() || build_path[0] != '/') return build_path;
  std::string path = "Z:" + build_path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

const WineTestEnv& WineTestEnv::Get() {
  static const WineTestEnv env;
  return env;
}

WineTestEnv::WineTestEnv()
    : url_(Required("VELMORIN_TEST_URL")),
      dead_url_(Required("VELMORIN_TEST_DEAD_URL")),
      https_url_(Optional("VELMORIN_TEST_HTTPS_URL")),
      untrusted_https_url_(Optional("VELMORIN_TEST_UNTRUSTED_HTTPS_URL")),
      site_(WindowsPath(Required("VELMORIN_TEST_SITE"))),
      faults_(WindowsPath(Required("VELMORIN_TEST_FAULTS"))),
      log_(WindowsPath(Required("VELMORIN_TEST_REQUEST_LOG"))),
      helper_(WindowsPath(VELMORIN_TEST_HELPER)) {}

void WineTestEnv::Serve(const std::string& path, const std::string& bytes) const {
  const std::filesystem::path file = site_ / std::filesystem::path(path).relative_path();
  std::filesystem::create_directories(file.parent_path());
  WriteFileBytes(file, bytes);
}

void WineTestEnv::SetFaults(const std::string& rules) const { WriteFileBytes(faults_, rules); }

std::string WineTestEnv::RequestLog() const { return ReadFileBytes(log_); }

}  // namespace velmorin::test_support
