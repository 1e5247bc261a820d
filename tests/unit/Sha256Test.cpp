// The digest that tells an undo file from one changed after it was written: the
// published test vectors, including the padding edges of one and two blocks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Sha256.h"

namespace korvane {
namespace {

std::vector<std::uint8_t> Ascii(const std::string& s) { return {s.begin(), s.end()}; }

TEST(Sha256Test, MatchesThePublishedVectors) {
  const struct {
    std::vector<std::uint8_t> input;
    const wchar_t* digest;
  } cases[] = {
      {{}, L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {Ascii("abc"), L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      // 56 bytes: the length no longer fits the first block.
      {Ascii("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
       L"248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::vector<std::uint8_t>(1000000, 'a'),
       L"cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) EXPECT_EQ(Sha256Hex(c.input), c.digest) << c.input.size() << " bytes";
}

TEST(Sha256Test, OneChangedByteChangesTheDigest) {
  std::vector<std::uint8_t> bytes = Ascii("Windows Registry Editor Version 5.00\r\n");
  const std::wstring before = Sha256Hex(bytes);
  bytes[10] ^= 1;
  EXPECT_NE(Sha256Hex(bytes), before);
}

}  // namespace
}  // namespace korvane
