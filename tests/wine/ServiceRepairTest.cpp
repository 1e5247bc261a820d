// The Windows Update reset end to end on the system's own Service Control Manager:
// stand-in services registered under Windows Update's names are stopped and started
// again, the queue files go, the two folders are renamed aside, and the window's
// undo renames them back.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "RecordingPlatform.h"
#include "RegistryState.h"
#include "WineSupport.h"
#include "advfix/Unit_AdvFix_Korvane.h"
#include "changes/UndoFiles.h"
#include "common/Messages.h"
#include "common/Unit_Fungsi_Korvane.h"
#include "repairs/VerifiedPress.h"

namespace korvane::wine {
namespace {

DWORD ServiceState(const std::wstring& name) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = manager ? OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS) : nullptr;
  SERVICE_STATUS status{};
  const bool read = service && QueryServiceStatus(service, &status);
  if (service) CloseServiceHandle(service);
  if (manager) CloseServiceHandle(manager);
  return read ? status.dwCurrentState : 0;
}

// The process a service runs in: a service stopped and started again runs in a new one.
DWORD ServiceProcess(const std::wstring& name) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = manager ? OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS) : nullptr;
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  const bool read =
      service && QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                      reinterpret_cast<BYTE*>(&status), sizeof status, &needed);
  if (service) CloseServiceHandle(service);
  if (manager) CloseServiceHandle(manager);
  return read ? status.dwProcessId : 0;
}

bool WaitForState(const std::wstring& name, DWORD state) {
  for (int i = 0; i < 200; ++i) {
    if (ServiceState(name) == state) return true;
    Sleep(50);
  }
  return false;
}

// The services of this test's prefix under the given names, each pointed at the
// stand-in for as long as the object lives: a name the prefix has already keeps its
// entry, with its program and type put back afterwards; a new one is deleted again.
class StandInServices {
 public:
  explicit StandInServices(const std::vector<std::wstring>& names) {
    manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    const std::wstring program = L"\"" + BuildDir() + L"\\korvane_standin_service.exe\"";
    for (const std::wstring& name : names) {
      Entry entry;
      entry.name = name;
      SC_HANDLE service = OpenServiceW(manager_, name.c_str(), SERVICE_ALL_ACCESS);
      if (service) {
        DWORD needed = 0;
        QueryServiceConfigW(service, nullptr, 0, &needed);
        std::vector<BYTE> buffer(needed);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        if (QueryServiceConfigW(service, config, needed, &needed)) {
          entry.oldProgram = config->lpBinaryPathName;
          entry.oldType = config->dwServiceType;
          entry.oldStart = config->dwStartType;
        }
        SERVICE_STATUS status{};
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        WaitForState(name, SERVICE_STOPPED);
        ChangeServiceConfigW(service, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                             SERVICE_NO_CHANGE, program.c_str(), nullptr, nullptr, L"\0", nullptr,
                             nullptr, nullptr);
      } else {
        service =
            CreateServiceW(manager_, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                           program.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        entry.created = true;
      }
      if (!service) continue;
      entry.ready = StartServiceW(service, 0, nullptr) && WaitForState(name, SERVICE_RUNNING);
      CloseServiceHandle(service);
      entries_.push_back(entry);
    }
  }
  ~StandInServices() {
    for (const Entry& e : entries_) {
      SC_HANDLE service = OpenServiceW(manager_, e.name.c_str(), SERVICE_ALL_ACCESS);
      if (!service) continue;
      SERVICE_STATUS status{};
      ControlService(service, SERVICE_CONTROL_STOP, &status);
      WaitForState(e.name, SERVICE_STOPPED);
      if (e.created) {
        DeleteService(service);
      } else {
        ChangeServiceConfigW(service, e.oldType, e.oldStart, SERVICE_NO_CHANGE,
                             e.oldProgram.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr);
      }
      CloseServiceHandle(service);
    }
    if (manager_) CloseServiceHandle(manager_);
  }
  bool allRunning() const {
    for (const Entry& e : entries_)
      if (!e.ready) return false;
    return !entries_.empty();
  }

 private:
  struct Entry {
    std::wstring name;
    bool created = false;
    bool ready = false;
    std::wstring oldProgram;
    DWORD oldType = 0, oldStart = 0;
  };
  SC_HANDLE manager_ = nullptr;
  std::vector<Entry> entries_;
};

bool IsFolder(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeFile(const std::wstring& path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(f, "x", 1, &written, nullptr);
  CloseHandle(f);
}

class ServiceRepairTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TempPath = temp_.path() + L"\\";
    for (const std::wstring& folder : {distribution_, catroot_})
      for (const wchar_t* end : {L"", L".bak", L".bak2"}) DeleteFolderTree(folder + end);
    CreateDirectoryW(distribution_.c_str(), nullptr);
    MakeFile(distribution_ + L"\\DataStore.edb");
    CreateDirectoryW(catroot_.c_str(), nullptr);
    MakeFile(catroot_ + L"\\edb.log");
    // A .bak left by an earlier reset: this one goes to .bak2.
    CreateDirectoryW((catroot_ + L".bak").c_str(), nullptr);
    std::wstring folder = data_.path();
    for (const wchar_t* part : {L"\\Microsoft", L"\\Network", L"\\Downloader"}) {
      folder += part;
      CreateDirectoryW(folder.c_str(), nullptr);
    }
    downloader_ = folder;
    MakeFile(downloader_ + L"\\qmgr0.dat");
    MakeFile(downloader_ + L"\\qmgr1.dat");
    MakeFile(downloader_ + L"\\other.dat");
  }
  void TearDown() override {
    for (const std::wstring& folder : {distribution_, catroot_})
      for (const wchar_t* end : {L"", L".bak", L".bak2"}) DeleteFolderTree(folder + end);
    TempPath = savedTemp_;
  }

  const std::wstring distribution_ = GetWinDir() + L"\\SoftwareDistribution";
  const std::wstring catroot_ = GetSysDir() + L"\\catroot2";
  std::wstring downloader_;
  ScratchDir data_{L"korvane-service-data"};
  ScratchDir temp_{L"korvane-service-temp"};
  OwnProgramData sys_{data_.path()};

 private:
  KeyGuard keepRecords_{HKEY_LOCAL_MACHINE, L"HKLM", L"SOFTWARE\\Korvane"};
  std::wstring savedTemp_ = TempPath;
};

TEST_F(ServiceRepairTest, WindowsUpdateResetRunsEndToEndAndItsUndoRenamesBack) {
  StandInServices services(WindowsUpdateServices());
  ASSERT_TRUE(services.allRunning()) << "the stand-in services did not start";

  std::vector<DWORD> before;
  for (const std::wstring& name : WindowsUpdateServices()) before.push_back(ServiceProcess(name));

  const VerifiedRun run = PressVerified(sys_, *FindRepair("advanced.windows-update"));

  ASSERT_TRUE(run.ran);
  EXPECT_TRUE(run.unverified.empty()) << "the read-back found " << run.unverified.size();
  EXPECT_EQ(sys_.boxes(), (std::vector<RecordedBox>{{kDoneText, kAppTitle, kMbIconInformation}}));
  EXPECT_FALSE(IsFile(downloader_ + L"\\qmgr0.dat"));
  EXPECT_FALSE(IsFile(downloader_ + L"\\qmgr1.dat"));
  EXPECT_TRUE(IsFile(downloader_ + L"\\other.dat"));
  EXPECT_FALSE(IsFolder(distribution_));
  EXPECT_TRUE(IsFile(distribution_ + L".bak\\DataStore.edb"));
  EXPECT_FALSE(IsFolder(catroot_));
  EXPECT_TRUE(IsFile(catroot_ + L".bak2\\edb.log"));
  for (size_t i = 0; i < WindowsUpdateServices().size(); ++i) {
    const std::wstring& name = WindowsUpdateServices()[i];
    EXPECT_EQ(ServiceState(name), static_cast<DWORD>(SERVICE_RUNNING)) << ToUtf8(name);
    EXPECT_NE(ServiceProcess(name), before[i]) << ToUtf8(name) << " was not stopped and started";
  }

  ASSERT_EQ(run.undoFiles.size(), 1u);
  const UndoOutcome undo = UndoFromFile(sys_, run.undoFiles[0]);
  EXPECT_TRUE(undo.done) << ToUtf8(undo.failure);
  EXPECT_TRUE(IsFile(distribution_ + L"\\DataStore.edb"));
  EXPECT_TRUE(IsFile(catroot_ + L"\\edb.log"));
  EXPECT_FALSE(IsFolder(distribution_ + L".bak"));
  EXPECT_FALSE(IsFolder(catroot_ + L".bak2"));
  EXPECT_TRUE(IsFolder(catroot_ + L".bak"));  // the earlier one stays
}

TEST_F(ServiceRepairTest, TheUndoIsRefusedWhenTheOriginalNameIsBack) {
  StandInServices services(WindowsUpdateServices());
  ASSERT_TRUE(services.allRunning());
  const VerifiedRun run = PressVerified(sys_, *FindRepair("advanced.windows-update"));
  ASSERT_EQ(run.undoFiles.size(), 1u);

  CreateDirectoryW(distribution_.c_str(), nullptr);
  const UndoOutcome undo = UndoFromFile(sys_, run.undoFiles[0]);
  EXPECT_FALSE(undo.done);
  EXPECT_EQ(undo.failure, L"\"" + distribution_ + L"\" is there again, so \"" + distribution_ +
                              L".bak\" is not renamed back.");
  EXPECT_TRUE(IsFolder(distribution_ + L".bak"));
  EXPECT_TRUE(IsFolder(catroot_ + L".bak2"));
}

}  // namespace
}  // namespace korvane::wine
