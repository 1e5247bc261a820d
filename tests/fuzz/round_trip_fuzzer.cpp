// The round trip of undo files (see tests/support/RoundTrip.h) on trees drawn from
// the fuzzer's input: carried back exactly, or refused with nothing written.  Data
// stays within 4 KB here, for speed; the unit test carries a megabyte.
#include <cstddef>
#include <cstdint>

#include "Oracles.h"
#include "support/RoundTrip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  korvane::testing::Draw draw(data, size);
  const korvane::testing::Tree tree = korvane::testing::DrawTree(draw, 4096);
  const korvane::testing::RoundTripResult result = korvane::testing::CheckRoundTrip(tree);
  if (!result.end) korvane::fuzz::Fail("a third outcome", result.failure);
  return 0;
}
