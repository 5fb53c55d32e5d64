// SHA-256 by the build's own system library, and the report's account of a file with it.
#include <gtest/gtest.h>

#include <memory>

#include "download/file_facts.h"
#ifdef _WIN32
#include "platform/win32/win32_program_trust.h"
#else
#include "platform/posix/posix_program_trust.h"
#endif
#include "support/fake_platform.h"

namespace velmorin {
namespace {

std::unique_ptr<platform::Sha256> NativeSha256() {
#ifdef _WIN32
  return platform::MakeWin32Sha256();
#else
  return platform::MakePosixSha256();
#endif
}

// A file longer than one block of reading, one in the digest's own test vectors, none.
TEST(FileFacts, SizeAndDigestByTheSystemsLibraryOrWhyNot) {
  auto sha = NativeSha256();
  ASSERT_TRUE(sha);
  test_support::FakePlatform p;
  p.platform.sha256 = sha.get();
  p.fs.SetFile("C:\\a.exe", std::string(300 * 1024, 'a'));
  p.fs.SetFile("C:\\b.exe", "abc");
  EXPECT_EQ(FileFacts(p.platform, "C:\\a.exe"),
            "307200 bytes, SHA-256 c1b808e1c591751506205ec5262a55b627c12a9d73a2fb150b3b388e7b7c4bd8");
  EXPECT_EQ(FileFacts(p.platform, "C:\\b.exe"),
            "3 bytes, SHA-256 ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(FileFacts(p.platform, "C:\\missing.exe"), "no se pudo leer (error 53)");
}

}  // namespace
}  // namespace velmorin
