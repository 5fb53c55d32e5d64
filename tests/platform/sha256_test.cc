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

TEST(Sha256, KnownDigestsWholeOrInPieces) {
  auto sha = NativeSha256();
  ASSERT_TRUE(sha);
  EXPECT_EQ(Hex(sha->Finish()), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  sha->Update(std::string_view("abc"));
  EXPECT_EQ(Hex(sha->Finish()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string piece(1000, 'a');
  for (int i = 0; i < 1000; ++i) sha->Update(piece);
  EXPECT_EQ(Hex(sha->Finish()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(FileFacts, SizeAndDigestOrWhyNot) {
  auto sha = NativeSha256();
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
