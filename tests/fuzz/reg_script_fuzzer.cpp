// The registry-script reader as the undo store and the journal use it: the bytes
// of a file, decoded, read into operations, and what reg.exe would make of them
// predicted over a registry.  Beyond memory and undefined behaviour it checks that
// every operation is one the reader may produce, and that the data of every value
// it read is written back by the writer to the same type and bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Oracles.h"
#include "base/Text.h"
#include "changes/OverlayPlatform.h"
#include "changes/RegScript.h"
#include "changes/RegistryCheck.h"
#include "platform/fake/FakePlatform.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  fake::FakePlatform sys;
  sys.addFile(L"C:\\Undo\\x.reg", bytes);
  const std::optional<RegImport> import = ReadRegImport(sys, L"reg.exe import C:\\Undo\\x.reg");
  if (!import) fuzz::Fail("an import command line was not recognised", "");
  const RegScriptText script = ParseRegScript(DecodeRegFile(bytes));
  if (import->accepted != script.hasHeader) fuzz::Fail("the import and the reader disagree", "");
  for (const RegOp& op : script.ops) {
    if (!RootFromName(RootName(op.root)) || op.path.empty() || op.line <= 0)
      fuzz::Fail("an operation without a key", ToUtf8(op.path));
    if (op.kind != RegOpKind::SetValue) continue;
    const RegScriptText again = ParseRegScript(kRegFileHeader + L"\n[HKEY_CURRENT_USER\\K]\n" +
                                               FormatRegValue(L"v", op.data));
    if (again.ops.size() != 2 || again.ops[1].data.type != op.data.type ||
        again.ops[1].data.bytes != op.data.bytes)
      fuzz::Fail("data read does not write back as itself", ToUtf8(FormatRegValue(L"v", op.data)));
  }
  // What the journal predicts an import writes, and the read-back of it.
  const Journal predicted = PredictRegImport(sys, script.ops);
  ExpectedRegistry expected;
  expected.applyScript(script.ops);
  expected.compare(sys);
  ApplyRegOps(sys, script.ops);
  ExpectedRegistry after;
  after.applyAll(predicted);
  after.compare(sys);
  return 0;
}
