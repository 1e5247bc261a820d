// Any registry tree, whatever its names and data, is either written by the undo
// writer and read back by the program's reader as exactly the same tree, or
// refused by the writer with nothing written.  Never a third outcome.
#include <random>
#include <string>
#include <vector>

#include "../support/RoundTrip.h"
#include "TestSupport.h"

namespace korvane {
namespace {

using testing::CheckRoundTrip;
using testing::Draw;
using testing::RoundTripEnd;
using testing::Tree;

TEST(UndoRoundTripTest, SeededTreesAreCarriedBackExactlyOrRefusedWithNothingWritten) {
  std::mt19937 random(20251210);
  int ends[2] = {};
  for (int i = 0; i < 400; ++i) {
    std::vector<std::uint8_t> bytes(random() % 600);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    Draw draw(bytes);
    const Tree tree = testing::DrawTree(draw, 4096);
    const testing::RoundTripResult result = CheckRoundTrip(tree);
    ASSERT_TRUE(result.end) << "tree " << i << ": " << result.failure;
    ++ends[static_cast<int>(*result.end)];
  }
  // The generator reaches both ends, or the property proves nothing.
  EXPECT_GT(ends[static_cast<int>(RoundTripEnd::Carried)], 40);
  EXPECT_GT(ends[static_cast<int>(RoundTripEnd::Refused)], 40);
}

Tree Key(std::wstring name, std::vector<testing::TreeValue> values = {},
         std::vector<Tree> keys = {}) {
  return Tree{std::move(name), std::move(values), std::move(keys)};
}

TEST(UndoRoundTripTest, HostileTreesEndAsTheyMust) {
  std::vector<std::uint8_t> megabyte(1024 * 1024);
  for (std::size_t i = 0; i < megabyte.size(); ++i) megabyte[i] = static_cast<std::uint8_t>(i * 7);
  const struct {
    const char* what;
    Tree tree;
    RoundTripEnd end;
  } cases[] = {
      {"a key name with a line break that would open a section of its own",
       Key(L"x", {},
           {Key(L"a]\n[HKEY_LOCAL_MACHINE", {},
                {Key(L"SOFTWARE", {{L"v", {kRegSz, WideToRegBytes(L"x")}}})})}),
       RoundTripEnd::Refused},
      {"a value name with a carriage return", Key(L"x", {{L"a\rb", {kRegDword, DwordBytes(1)}}}),
       RoundTripEnd::Refused},
      {"a value name with a line feed",
       Key(L"x", {{L"a\n\"b\"=\"c", {kRegSz, WideToRegBytes(L"")}}}), RoundTripEnd::Refused},
      {"quotes, backslashes, brackets and = at the ends of names",
       Key(L"]x[", {{L"\"\\=", {kRegSz, WideToRegBytes(L"\\\"")}}, {L"=]", {kRegBinary, {}}}},
           {Key(L"=", {{L"@", {kRegNone, {}}}}), Key(L" ", {}), Key(L"-lead", {})}),
       RoundTripEnd::Carried},
      {"names outside the Basic Multilingual Plane",
       Key(L"\U0001F600", {{L"\U00010348", {kRegSz, WideToRegBytes(L"\U0001F600")}}}),
       RoundTripEnd::Carried},
      {"the default value, empty and odd-length texts, text without its zero",
       Key(L"x", {{L"", {kRegSz, {}}},
                  {L"odd", {kRegSz, {0x41, 0, 0}}},
                  {L"open", {kRegSz, {0x41, 0}}},
                  {L"ctl", {kRegSz, WideToRegBytes(L"a\r\nb\x1b")}}}),
       RoundTripEnd::Carried},
      {"REG_LINK, types above REG_QWORD, a DWORD of the wrong size",
       Key(L"x", {{L"link", {6, {0x5c, 0}}},
                  {L"t12", {12, {1}}},
                  {L"max", {0xFFFFFFFF, {}}},
                  {L"d3", {kRegDword, {1, 2, 3}}}}),
       RoundTripEnd::Carried},
      {"1 MB of binary data", Key(L"x", {{L"blob", {kRegBinary, megabyte}}}),
       RoundTripEnd::Carried},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const testing::RoundTripResult result = CheckRoundTrip(c.tree);
    ASSERT_TRUE(result.end) << result.failure;
    EXPECT_EQ(*result.end, c.end);
  }
}

}  // namespace
}  // namespace korvane
