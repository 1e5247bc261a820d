#include <algorithm>
#include <optional>

#include "TestSupport.h"
#include "common/KorvaneError.h"
#include "common/MaintenanceTasks.h"
#include "common/Registry.h"

namespace korvane {
namespace {

using fake::Narrow;
using testing::FakeTest;

const std::wstring kKey = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\SystemRestore";
const std::wstring kValue = L"SystemRestorePointCreationFrequency";

// ------------------------------------------------------------ SFC and DISM

struct ToolTask {
  const char* name;
  void (*run)();
  const wchar_t* program;  // how the fake knows the tool
  const wchar_t* systemCopy;
  const wchar_t* commandLine;
};

enum class ToolOutcome { Succeeds, FailsWithCode };

struct ToolCase {
  ToolTask task;
  ToolOutcome outcome;
};

void PrintTo(const ToolCase& c, std::ostream* os) {
  *os << c.task.name << " outcome " << static_cast<int>(c.outcome);
}

class ToolTaskTest : public FakeTest, public ::testing::WithParamInterface<ToolCase> {};

TEST_P(ToolTaskTest, RunsTheToolVisiblyAndSaysDoneOnlyAfterItEnded) {
  const ToolCase& c = GetParam();
  fake().addProgram(c.task.program,
                    {c.outcome == ToolOutcome::Succeeds ? 0u : 2u, /*polls=*/3, {}, {}});

  RunHandler(c.task.run);

  ASSERT_EQ(fake().launches().size(), 1u);
  EXPECT_EQ(fake().launches()[0].commandLine, c.task.commandLine);
  EXPECT_EQ(LowerText(fake().launches()[0].application), LowerText(c.task.systemCopy));
  EXPECT_EQ(fake().launches()[0].showMode, 5);
  EXPECT_TRUE(fake().launches()[0].waited);

  ASSERT_EQ(fake().messages().size(), 1u);
  EXPECT_EQ(fake().messages()[0].text, L"Done!");
  EXPECT_EQ(fake().messages()[0].title, L"Korvane");
  EXPECT_EQ(fake().messages()[0].flags, kMbIconInformation);

  const auto& ev = fake().events;
  auto end = std::find(ev.begin(), ev.end(), L"end " + std::wstring(c.task.commandLine));
  auto box = std::find(ev.begin(), ev.end(), L"box Done!");
  ASSERT_NE(end, ev.end());
  EXPECT_LT(end, box) << "\"Done!\" came before the tool had ended";
}

const ToolTask kSfc{"Sfc", RunSystemFileCheck, L"sfc", L"C:\\Windows\\System32\\sfc.exe",
                    L"sfc /scannow"};
const ToolTask kDism{"Dism", RunComponentStoreRepair, L"DISM", L"C:\\Windows\\System32\\Dism.exe",
                     L"DISM /Online /Cleanup-Image /RestoreHealth"};

std::string ToolCaseName(const ::testing::TestParamInfo<ToolCase>& info) {
  static const char* const kOutcome[] = {"Succeeds", "FailsWithCode"};
  return std::string(info.param.task.name) + kOutcome[static_cast<int>(info.param.outcome)];
}

INSTANTIATE_TEST_SUITE_P(MaintenanceTools, ToolTaskTest,
                         ::testing::Values(ToolCase{kSfc, ToolOutcome::Succeeds},
                                           ToolCase{kSfc, ToolOutcome::FailsWithCode},
                                           ToolCase{kDism, ToolOutcome::Succeeds},
                                           ToolCase{kDism, ToolOutcome::FailsWithCode}),
                         ToolCaseName);

// A tool missing from the System directory is not searched for (the fake would find
// the copy it knows by name, as a search would find one in the current folder): the
// task names the tool in the standard error box and never says "Done!".
TEST(MaintenanceToolsTest, AToolThatCannotStartIsNamedInTheErrorBoxInsteadOfDone) {
  for (const ToolTask& task : {kSfc, kDism}) {
    SCOPED_TRACE(task.name);
    fake::ScopedFakePlatform sys;
    ASSERT_TRUE(sys->deleteFile(task.systemCopy));
    bool plantedRan = false;
    sys->addProgram(task.program, {0, 0, [&](const std::wstring&) { plantedRan = true; }, {}});

    RunHandler(task.run);

    EXPECT_FALSE(plantedRan);
    EXPECT_TRUE(sys->launches().empty());
    ASSERT_EQ(sys->messages().size(), 1u);
    EXPECT_EQ(sys->messages()[0].text, L"Cannot run \"" + std::wstring(task.program) +
                                           L"\". The system cannot find the file specified.");
    EXPECT_EQ(sys->messages()[0].title, L"Korvane");
    EXPECT_EQ(sys->messages()[0].flags, kMbIconError);
  }
}

// ------------------------------------------------------------ restore point

// The frequency value as an administrator may have left it before "Create".
struct PriorValue {
  const char* name;
  std::optional<RegData> data;
};

const PriorValue kPriorValues[] = {
    {"Absent", std::nullopt},
    {"Sixty", RegData{kRegDword, DwordBytes(60)}},
    {"ZeroAlready", RegData{kRegDword, DwordBytes(0)}},
    // Windows would ignore a mistyped value, but it is the administrator's to keep.
    {"TextTyped", RegData{kRegSz, WideToRegBytes(L"1440")}},
};

void PrintTo(const PriorValue& p, std::ostream* os) { *os << p.name; }

class RestorePointTest : public FakeTest {
 protected:
  void givenPrior(const PriorValue& prior) {
    fake().createKey(kHkeyLocalMachine, kKey);
    if (prior.data)
      fake().setValue(kHkeyLocalMachine, kKey, kValue, prior.data->type, prior.data->bytes);
  }
  // The value as the provider saw it, for every request made.
  void recordValueAtRequest() {
    fake().onRestorePoint = [this] {
      seenAtRequest.push_back(fake().value(kHkeyLocalMachine, kKey, kValue));
      comDepthAtRequest.push_back(fake().comInitDepth);
    };
  }
  void expectValueIs(const std::optional<RegData>& expected) {
    auto now = fake().value(kHkeyLocalMachine, kKey, kValue);
    ASSERT_EQ(now.has_value(), expected.has_value());
    if (expected) {
      EXPECT_EQ(now->type, expected->type);
      EXPECT_EQ(now->bytes, expected->bytes);
    }
  }

  std::vector<std::optional<RegData>> seenAtRequest;
  std::vector<int> comDepthAtRequest;
};

class RestorePointPriorTest : public RestorePointTest,
                              public ::testing::WithParamInterface<std::tuple<PriorValue, bool>> {};

TEST_P(RestorePointPriorTest, RequestsWithoutLimitAndLeavesTheValueAsItWas) {
  const auto& [prior, requestFails] = GetParam();
  givenPrior(prior);
  recordValueAtRequest();
  if (requestFails)
    fake().restorePointFailure = ComFailure{static_cast<std::int32_t>(0x80004001), L"", L""};

  RunHandler(CreateRestorePointTask);

  ASSERT_EQ(seenAtRequest.size(), 1u);
  ASSERT_TRUE(seenAtRequest[0].has_value()) << "no frequency value while the request ran";
  EXPECT_EQ(seenAtRequest[0]->type, kRegDword);
  EXPECT_EQ(seenAtRequest[0]->bytes, DwordBytes(0));
  EXPECT_EQ(comDepthAtRequest[0], 1);
  EXPECT_EQ(fake().comInitDepth, 0) << "COM left initialised";

  ASSERT_EQ(fake().messages().size(), 1u);
  if (requestFails) {
    EXPECT_EQ(fake().messages()[0].text, L"OLE error 80004001");
    EXPECT_EQ(fake().messages()[0].flags, kMbIconError);
  } else {
    EXPECT_EQ(fake().restorePoints, std::vector<std::wstring>{L"Created by Korvane"});
    EXPECT_EQ(fake().messages()[0].text, L"Done!");
    EXPECT_EQ(fake().messages()[0].flags, kMbIconInformation);
  }
  EXPECT_EQ(fake().messages()[0].title, L"Korvane");

  expectValueIs(prior.data);
  EXPECT_TRUE(fake().keyExists(kHkeyLocalMachine, kKey));
  EXPECT_EQ(fake().openKeyHandles(), 0u);
}

INSTANTIATE_TEST_SUITE_P(FrequencyValue, RestorePointPriorTest,
                         ::testing::Combine(::testing::ValuesIn(kPriorValues), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<PriorValue, bool>>& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "RequestFails" : "RequestSucceeds");
                         });

TEST_F(RestorePointTest, CreatesTheKeyWhenSystemRestoreHasNeverBeenConfigured) {
  recordValueAtRequest();
  RunHandler(CreateRestorePointTask);
  ASSERT_EQ(seenAtRequest.size(), 1u);
  EXPECT_TRUE(seenAtRequest[0].has_value());
  EXPECT_TRUE(fake().keyExists(kHkeyLocalMachine, kKey));
  EXPECT_FALSE(fake().value(kHkeyLocalMachine, kKey, kValue).has_value());
  EXPECT_EQ(boxTexts(), std::vector<std::wstring>{L"Done!"});
}

TEST_F(RestorePointTest, ShowsTheRequestsErrorTextExactlyAsReported) {
  struct Case {
    ComFailure failure;
    const wchar_t* shown;
  } cases[] = {
      // A text ending in a letter would get a full stop in the standard error box.
      {{static_cast<std::int32_t>(0x80070422), L"The service cannot be started", L""},
       L"The service cannot be started"},
      {{static_cast<std::int32_t>(0x80004001), L"", L"Not implemented.\r\n"}, L"Not implemented"},
      {{static_cast<std::int32_t>(0x8004100E), L"", L""}, L"OLE error 8004100E"},
  };
  for (const auto& c : cases) {
    fake::ScopedFakePlatform sys;
    sys->restorePointFailure = c.failure;
    RunHandler(CreateRestorePointTask);
    ASSERT_EQ(sys->messages().size(), 1u) << Narrow(c.shown);
    EXPECT_EQ(sys->messages()[0].text, c.shown);
    EXPECT_EQ(sys->messages()[0].title, L"Korvane");
    EXPECT_EQ(sys->messages()[0].flags, kMbIconError);
    EXPECT_TRUE(sys->restorePoints.empty());
  }
}

TEST_F(RestorePointTest, BackToBackRequestsBothRunWithoutLimit) {
  givenPrior(kPriorValues[1]);  // 60
  recordValueAtRequest();
  RunHandler(CreateRestorePointTask);
  RunHandler(CreateRestorePointTask);
  ASSERT_EQ(seenAtRequest.size(), 2u);
  for (const auto& seen : seenAtRequest) {
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->bytes, DwordBytes(0));
  }
  EXPECT_EQ(fake().dwordValue(kHkeyLocalMachine, kKey, kValue), 60u);
  EXPECT_EQ(boxTexts(), (std::vector<std::wstring>{L"Done!", L"Done!"}));
}

TEST_F(RestorePointTest, AFrequencyValueThatCannotBeWrittenStopsBeforeTheRequest) {
  struct Case {
    const char* name;
    const wchar_t* deniedKey;  // writes below this key are refused
    bool keyExists;
  } cases[] = {
      {"value refused", L"Software\\Microsoft\\Windows NT\\CurrentVersion\\SystemRestore", true},
      {"key cannot be created", L"Software\\Microsoft\\Windows NT\\CurrentVersion", false},
  };
  for (const auto& c : cases) {
    fake::ScopedFakePlatform sys;
    if (c.keyExists) sys->setDword(kHkeyLocalMachine, kKey, kValue, 60);
    sys->denyWrites(kHkeyLocalMachine, c.deniedKey);
    bool requested = false;
    sys->onRestorePoint = [&] { requested = true; };

    RunHandler(CreateRestorePointTask);

    EXPECT_FALSE(requested) << c.name;
    EXPECT_EQ(sys->comInitDepth, 0) << c.name;
    ASSERT_EQ(sys->messages().size(), 1u) << c.name;
    // The standard error box: a quotation mark ends the text, so no full stop is added.
    EXPECT_EQ(sys->messages()[0].text,
              L"Failed to set data for 'SystemRestorePointCreationFrequency'")
        << c.name;
    EXPECT_EQ(sys->messages()[0].title, L"Korvane");
    EXPECT_EQ(sys->messages()[0].flags, kMbIconError);
    if (c.keyExists) EXPECT_EQ(sys->dwordValue(kHkeyLocalMachine, kKey, kValue), 60u) << c.name;
    EXPECT_EQ(sys->openKeyHandles(), 0u) << c.name;
  }
}

}  // namespace
}  // namespace korvane
