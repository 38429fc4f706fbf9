// The Win32 platform layer against the real system calls (run under Wine on the build
// machine). System message texts differ between Windows and Wine, so no test compares
// them; Wine runs as administrator, so no test needs an access-denied path.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "agent/platform/platform.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string Pid() { return std::to_string(::GetCurrentProcessId()); }

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  ASSERT_TRUE(out.good()) << path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh directory under the system's temporary folder, removed afterwards.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // One directory per test: a directory that a finished child process ran in may
    // stay busy for a moment after it ended.
    static int serial = 0;
    dir_ = (fs::temp_directory_path() /
            ("vt_platform_" + Pid() + "_" + std::to_string(++serial)))
               .string();
    std::error_code error;
    fs::remove_all(dir_, error);
    ASSERT_TRUE(fs::create_directories(dir_, error)) << dir_ << ": " << error.message();
  }
  void TearDown() override {
    // Wine reports a child as ended shortly before it lets go of its directory.
    std::error_code error;
    for (int attempt = 0; attempt < 100; ++attempt) {
      fs::remove_all(dir_, error);
      if (!error) return;
      ::Sleep(20);
    }
    ADD_FAILURE() << "cannot remove " << dir_ << ": " << error.message();
  }
  std::string Path(const std::string& name) const { return dir_ + "\\" + name; }

  std::string dir_;
};

// ---------------------------------------------------------------- registry

class RegistryTest : public ::testing::Test {
 protected:
  static constexpr const char* kParent = "Software\\VantoryPlatformTest";

  void SetUp() override {
    subKey_ = std::string(kParent) + "\\" + Pid();
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, subKey_.c_str(), 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &key, nullptr));
    SetString(key, "Name", std::string("C:\\Agent\\") + '\0', REG_SZ);
    SetString(key, "Expandable", std::string("%SystemRoot%") + '\0', REG_EXPAND_SZ);
    // Stored without its terminator, as a careless writer may leave it.
    SetString(key, "Unterminated", "abc", REG_SZ);
    ::RegCloseKey(key);
  }
  void TearDown() override {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, subKey_.c_str());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, kParent);  // fails while other runs use it
  }
  static void SetString(HKEY key, const char* name, const std::string& bytes, DWORD type) {
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                               static_cast<DWORD>(bytes.size())));
  }

  std::string subKey_;
};

TEST_F(RegistryTest, DwordRoundTripThroughAFullAccessKey) {
  RegistryKey key;
  ASSERT_EQ(kSuccess, key.Open(Hive::CurrentUser, subKey_, RegAccess::All));
  ASSERT_TRUE(key.IsOpen());
  ASSERT_EQ(kSuccess, key.SetDword("IconsOnly", 0xDEADBEEF));
  std::uint32_t value = 0;
  ASSERT_EQ(kSuccess, key.QueryDword("iconsonly", value));  // names ignore case
  EXPECT_EQ(0xDEADBEEFu, value);
  std::uint32_t bytes = 0;
  ASSERT_EQ(kSuccess, key.QueryValueSize("IconsOnly", bytes));
  EXPECT_EQ(4u, bytes);

  // Another handle sees the value the first one wrote.
  RegistryKey reader;
  ASSERT_EQ(kSuccess, reader.Open(Hive::CurrentUser, subKey_, RegAccess::Query));
  value = 1;
  ASSERT_EQ(kSuccess, reader.QueryDword("IconsOnly", value));
  EXPECT_EQ(0xDEADBEEFu, value);
}

TEST_F(RegistryTest, QueryOnlyKeyRefusesWrites) {
  RegistryKey key;
  ASSERT_EQ(kSuccess, key.Open(Hive::CurrentUser, subKey_, RegAccess::Query));
  EXPECT_EQ(kAccessDenied, key.SetDword("IconsOnly", 1));
}

TEST_F(RegistryTest, StringsAndTheirLimits) {
  RegistryKey key;
  ASSERT_EQ(kSuccess, key.Open(Hive::CurrentUser, subKey_, RegAccess::Query));
  std::uint32_t bytes = 0;
  ASSERT_EQ(kSuccess, key.QueryValueSize("Name", bytes));
  EXPECT_EQ(10u, bytes);  // "C:\Agent\" and its NUL

  struct Case {
    const char* name;
    std::uint32_t maxBytes;
    ErrorCode expected;
    const char* value;  // after the call; "keep" stands for the old value
  } const cases[] = {
      {"Name", UINT32_MAX, kSuccess, "C:\\Agent\\"},
      {"Name", 10, kSuccess, "C:\\Agent\\"},
      {"Name", 9, kMoreData, "keep"},
      {"Name", 0, kMoreData, "keep"},
      {"Expandable", UINT32_MAX, kSuccess, "%SystemRoot%"},  // not expanded
      {"Unterminated", UINT32_MAX, kSuccess, "abc"},
      {"Missing", UINT32_MAX, kFileNotFound, "keep"},
  };
  for (const Case& c : cases) {
    std::string value = "keep";
    EXPECT_EQ(c.expected, key.QueryString(c.name, value, c.maxBytes))
        << c.name << " limit " << c.maxBytes;
    EXPECT_EQ(c.value, value) << c.name << " limit " << c.maxBytes;
  }
}

TEST_F(RegistryTest, TypeMismatchIsInvalidData) {
  RegistryKey key;
  ASSERT_EQ(kSuccess, key.Open(Hive::CurrentUser, subKey_, RegAccess::All));
  ASSERT_EQ(kSuccess, key.SetDword("Level", 3));
  std::uint32_t number = 42;
  EXPECT_EQ(kInvalidData, key.QueryDword("Name", number));
  EXPECT_EQ(42u, number);
  std::string text = "keep";
  EXPECT_EQ(kInvalidData, key.QueryString("Level", text));
  EXPECT_EQ("keep", text);
  EXPECT_EQ(kFileNotFound, key.QueryDword("Missing", number));
  std::uint32_t bytes = 7;
  EXPECT_EQ(kFileNotFound, key.QueryValueSize("Missing", bytes));
  EXPECT_EQ(7u, bytes);
}

TEST_F(RegistryTest, MissingKeyIsFileNotFoundAndStaysClosed) {
  RegistryKey key;
  ASSERT_EQ(kSuccess, key.Open(Hive::CurrentUser, subKey_, RegAccess::All));
  EXPECT_EQ(kFileNotFound, key.Open(Hive::CurrentUser, subKey_ + "\\Nope", RegAccess::Query));
  EXPECT_FALSE(key.IsOpen());
  std::uint32_t value = 0;
  EXPECT_EQ(kInvalidHandle, key.QueryDword("Level", value));
  EXPECT_EQ(kFileNotFound,
            key.Open(Hive::LocalMachine, "SOFTWARE\\VantoryPlatformTest\\Nope", RegAccess::Query));
}

TEST(RegistryMachineTest, ReadsTheProcessorArchitecture) {
  RegistryKey key;
  ASSERT_EQ(kSuccess,
            key.Open(Hive::LocalMachine,
                     "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                     RegAccess::All));
  std::string value;
  ASSERT_EQ(kSuccess, key.QueryString("PROCESSOR_ARCHITECTURE", value, 255));
  EXPECT_EQ("AMD64", value);  // this test program is 64-bit
}

// ---------------------------------------------------------------- services

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = "VtPlatformTest" + Pid();
    SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(nullptr, manager);
    SC_HANDLE service = ::CreateServiceA(
        manager, name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
        SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, "C:\\windows\\system32\\notepad.exe",
        nullptr, nullptr, nullptr, nullptr, nullptr);
    const DWORD error = ::GetLastError();
    ::CloseServiceHandle(service);
    ::CloseServiceHandle(manager);
    ASSERT_NE(nullptr, service) << error;
  }
  // Wine tries to start automatic services at every later start: put it back, remove it.
  void TearDown() override {
    SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = ::OpenServiceA(manager, name_.c_str(), SERVICE_ALL_ACCESS);
    if (service != nullptr) {
      ::ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_DEMAND_START, SERVICE_NO_CHANGE,
                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
      ::DeleteService(service);
      ::CloseServiceHandle(service);
    }
    ::CloseServiceHandle(manager);
  }
  std::uint32_t StoredStartType() const {
    RegistryKey key;
    std::uint32_t start = 0;
    EXPECT_EQ(kSuccess, key.Open(Hive::LocalMachine,
                                 "System\\CurrentControlSet\\Services\\" + name_,
                                 RegAccess::Query));
    EXPECT_EQ(kSuccess, key.QueryDword("Start", start));
    return start;
  }

  std::string name_;
};

TEST_F(ServiceTest, SetsOnlyTheStartType) {
  ServiceManager manager;
  ASSERT_EQ(kSuccess, manager.Open());
  ServiceHandle service;
  ASSERT_EQ(kSuccess, manager.OpenServiceForConfig(name_, service));
  ASSERT_TRUE(service.IsOpen());
  ASSERT_EQ(SERVICE_DEMAND_START, StoredStartType());
  ASSERT_EQ(kSuccess, service.SetStartType(kServiceAutoStart));
  EXPECT_EQ(kServiceAutoStart, StoredStartType());

  RegistryKey key;
  ASSERT_EQ(kSuccess, key.Open(Hive::LocalMachine, "System\\CurrentControlSet\\Services\\" + name_,
                               RegAccess::Query));
  std::string imagePath;
  ASSERT_EQ(kSuccess, key.QueryString("ImagePath", imagePath));
  EXPECT_EQ("C:\\windows\\system32\\notepad.exe", imagePath);
}

TEST(ServiceManagerTest, MissingServiceIs1060) {
  ServiceManager manager;
  ASSERT_EQ(kSuccess, manager.Open());
  ServiceHandle service;
  EXPECT_EQ(kServiceDoesNotExist, manager.OpenServiceForConfig("VtNoSuchService", service));
  EXPECT_FALSE(service.IsOpen());
  EXPECT_EQ(kInvalidHandle, service.SetStartType(kServiceAutoStart));
}

// ---------------------------------------------------------------- files

using FileTest = TempDirTest;

TEST_F(FileTest, SharingRules) {
  WriteFile(Path("live.log"), "0123456789");
  struct Case {
    FileShare first;
    FileAccess secondAccess;
    FileShare second;
    ErrorCode expected;
  } const cases[] = {
      {FileShare::ReadWriteDelete, FileAccess::ReadWrite, FileShare::ReadWriteDelete, kSuccess},
      {FileShare::None, FileAccess::ReadWrite, FileShare::ReadWriteDelete, kSharingViolation},
      {FileShare::ReadWriteDelete, FileAccess::ReadWrite, FileShare::None, kSharingViolation},
      // Reading only the security information touches no data: sharing does not matter.
      {FileShare::None, FileAccess::ReadSecurityOnly, FileShare::None, kSuccess},
  };
  for (const Case& c : cases) {
    File first;
    ASSERT_EQ(kSuccess, first.Open(Path("live.log"), FileAccess::ReadWrite, c.first,
                                   FileDisposition::OpenExisting));
    File second;
    EXPECT_EQ(c.expected, second.Open(Path("live.log"), c.secondAccess, c.second,
                                      FileDisposition::OpenExisting))
        << "case " << (&c - cases);
    EXPECT_EQ(c.expected == kSuccess, second.IsOpen());
  }
}

TEST_F(FileTest, SizeAndTruncation) {
  WriteFile(Path("live.log"), std::string(2000, 'x'));
  File file;
  ASSERT_EQ(kSuccess, file.Open(Path("live.log"), FileAccess::ReadSecurityOnly, FileShare::None,
                                FileDisposition::OpenExisting));
  std::uint64_t size = 0;
  ASSERT_EQ(kSuccess, file.Size(size));
  EXPECT_EQ(2000u, size);
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(kInvalidHandle, file.Size(size));

  ASSERT_EQ(kSuccess, file.Open(Path("live.log"), FileAccess::ReadWrite,
                                FileShare::ReadWriteDelete, FileDisposition::TruncateExisting));
  ASSERT_EQ(kSuccess, file.Size(size));
  EXPECT_EQ(0u, size);
}

TEST_F(FileTest, MissingFileOrDirectory) {
  File file;
  EXPECT_EQ(kFileNotFound, file.Open(Path("none.log"), FileAccess::ReadWrite,
                                     FileShare::ReadWriteDelete, FileDisposition::OpenExisting));
  EXPECT_EQ(kPathNotFound, file.Open(Path("nodir\\none.log"), FileAccess::ReadWrite,
                                     FileShare::None, FileDisposition::OpenExisting));
  EXPECT_EQ(kFileNotFound, file.Open(Path("none.log"), FileAccess::ReadWrite, FileShare::None,
                                     FileDisposition::TruncateExisting));
  EXPECT_FALSE(file.IsOpen());
}

TEST_F(FileTest, CopyReplacesAndRenameRefusesToReplace) {
  WriteFile(Path("a.log"), "new");
  WriteFile(Path("b.log"), "older and longer");
  ASSERT_EQ(kSuccess, CopyFileReplacing(Path("a.log"), Path("b.log")));
  EXPECT_EQ("new", ReadFile(Path("b.log")));
  EXPECT_EQ(kFileNotFound, CopyFileReplacing(Path("none.log"), Path("b.log")));

  EXPECT_EQ(kAlreadyExists, RenameFile(Path("a.log"), Path("b.log")));
  EXPECT_EQ("new", ReadFile(Path("a.log")));
  ASSERT_EQ(kSuccess, RenameFile(Path("a.log"), Path("c.log")));
  EXPECT_FALSE(fs::exists(Path("a.log")));
  EXPECT_EQ("new", ReadFile(Path("c.log")));
  EXPECT_EQ(kFileNotFound, RenameFile(Path("a.log"), Path("d.log")));

  ASSERT_EQ(kSuccess, RemoveFile(Path("c.log")));
  EXPECT_FALSE(fs::exists(Path("c.log")));
  EXPECT_EQ(kFileNotFound, RemoveFile(Path("c.log")));
}

TEST_F(FileTest, MakeDirectoryGivesPosixErrors) {
  EXPECT_EQ(0, MakeDirectory(Path("logs")));
  EXPECT_TRUE(fs::is_directory(Path("logs")));
  EXPECT_EQ(17, MakeDirectory(Path("logs")));           // EEXIST
  EXPECT_EQ(2, MakeDirectory(Path("missing\\logs")));   // ENOENT
}

TEST_F(FileTest, WorkingDirectoryRoundTrip) {
  std::string saved;
  ASSERT_EQ(kSuccess, GetWorkingDirectory(saved));
  ASSERT_FALSE(saved.empty());
  ASSERT_EQ(kSuccess, SetWorkingDirectory(dir_));
  std::string now;
  ASSERT_EQ(kSuccess, GetWorkingDirectory(now));
  EXPECT_EQ(fs::path(dir_), fs::path(now));
  // A relative name now resolves inside the directory.
  WriteFile(Path("here.txt"), "x");
  File file;
  EXPECT_EQ(kSuccess, file.Open("here.txt", FileAccess::ReadSecurityOnly, FileShare::None,
                                FileDisposition::OpenExisting));
  file.Close();
  EXPECT_EQ(kFileNotFound, SetWorkingDirectory(Path("missing")));
  ASSERT_EQ(kSuccess, SetWorkingDirectory(saved));
  ASSERT_EQ(kSuccess, GetWorkingDirectory(now));
  EXPECT_EQ(saved, now);
}

TEST(WindowsDirectoryTest, NamesAnExistingDirectory) {
  std::string windows;
  ASSERT_EQ(kSuccess, WindowsDirectory(windows));
  ASSERT_GE(windows.size(), 3u);
  EXPECT_EQ(':', windows[1]);
  EXPECT_NE('\\', windows.back());
  EXPECT_TRUE(fs::is_directory(windows + "\\system32")) << windows;
}

TEST_F(FileTest, LogStreamIsNotInheritableAndHonoursItsMode) {
  WriteFile(Path("x.log"), "old\n");
  std::FILE* stream = OpenLogStream(Path("x.log"), false);
  ASSERT_NE(nullptr, stream);
  DWORD flags = HANDLE_FLAG_INHERIT;
  ASSERT_TRUE(::GetHandleInformation(
      reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream))), &flags));
  EXPECT_EQ(0u, flags & HANDLE_FLAG_INHERIT);
  std::fputs("appended\n", stream);
  std::fclose(stream);
  EXPECT_EQ("old\nappended\r\n", ReadFile(Path("x.log")));  // text mode

  stream = OpenLogStream(Path("x.log"), true);
  ASSERT_NE(nullptr, stream);
  std::fputs("fresh\n", stream);
  std::fclose(stream);
  EXPECT_EQ("fresh\r\n", ReadFile(Path("x.log")));

  EXPECT_EQ(nullptr, OpenLogStream(Path("missing\\x.log"), false));
  EXPECT_EQ("C:\\Agent\\logs\\x.log", HostPath("C:\\Agent\\logs\\x.log"));
}

// Rotation copies and truncates the live log while the writer keeps its stream open.
TEST_F(FileTest, OpenLogStreamLetsRotationCopyAndTruncate) {
  WriteFile(Path("live.log"), "");
  std::FILE* stream = OpenLogStream(Path("live.log"), false);
  ASSERT_NE(nullptr, stream);
  std::fputs("first\n", stream);
  std::fflush(stream);
  EXPECT_EQ(kSuccess, CopyFileReplacing(Path("live.log"), Path("live1.log")));
  File live;
  EXPECT_EQ(kSuccess, live.Open(Path("live.log"), FileAccess::ReadWrite,
                                FileShare::ReadWriteDelete, FileDisposition::OpenExisting));
  std::uint64_t size = 0;
  EXPECT_EQ(kSuccess, live.Size(size));
  EXPECT_EQ(7u, size);
  EXPECT_EQ(kSuccess, live.Open(Path("live.log"), FileAccess::ReadWrite,
                                FileShare::ReadWriteDelete, FileDisposition::TruncateExisting));
  live.Close();
  // Appending: the next line lands at the start of the emptied file.
  std::fputs("second\n", stream);
  std::fclose(stream);
  EXPECT_EQ("first\r\n", ReadFile(Path("live1.log")));
  EXPECT_EQ("second\r\n", ReadFile(Path("live.log")));
}

// ---------------------------------------------------------------- directory listing

using ListingTest = TempDirTest;

std::multiset<std::string> ListAll(DirectoryListing& listing, const std::string& pattern,
                                   ErrorCode& end) {
  std::multiset<std::string> names;
  end = listing.Start(pattern);
  if (end != kSuccess) return names;
  do {
    names.insert(listing.Name());
  } while ((end = listing.Next()) == kSuccess);
  return names;
}

TEST_F(ListingTest, PatternsMatchWithoutRegardToCase) {
  for (const char* name : {"app.log", "APP1.log", "app2.log", "other.log"}) {
    WriteFile(Path(name), "x");
  }
  ASSERT_EQ(0, MakeDirectory(Path("appdir")));
  struct Case {
    const char* pattern;
    std::multiset<std::string> names;
  } const cases[] = {
      {"*.*", {".", "..", "app.log", "APP1.log", "app2.log", "other.log", "appdir"}},
      {"app*.*", {"app.log", "APP1.log", "app2.log", "appdir"}},
      {"App?.LOG", {"APP1.log", "app2.log"}},
      {"other.log", {"other.log"}},
  };
  for (const Case& c : cases) {
    DirectoryListing listing;
    ErrorCode end = kSuccess;
    EXPECT_EQ(c.names, ListAll(listing, Path(c.pattern), end)) << c.pattern;
    EXPECT_EQ(kNoMoreFiles, end) << c.pattern;
    EXPECT_NE(0, listing.Id()) << c.pattern;
  }
}

TEST_F(ListingTest, NothingMatches) {
  DirectoryListing listing;
  EXPECT_EQ(kFileNotFound, listing.Start(Path("none*.*")));
  EXPECT_EQ("", listing.Name());
  EXPECT_EQ(kPathNotFound, listing.Start(Path("missing\\*.*")));
  EXPECT_EQ(kInvalidHandle, listing.Next());
}

// ---------------------------------------------------------------- processes

using ProcessTest = TempDirTest;

TEST_F(ProcessTest, ExitCodeReachesTheCaller) {
  Process process;
  ASSERT_EQ(kSuccess, process.Start("cmd.exe /c exit 7", nullptr, false));
  ErrorCode error = kSuccess;
  ASSERT_EQ(Process::WaitResult::Exited, process.Wait(60000, error));
  std::uint32_t code = 0;
  ASSERT_EQ(kSuccess, process.ExitCode(code));
  EXPECT_EQ(7u, code);
}

TEST_F(ProcessTest, RunsInTheGivenWorkingDirectory) {
  WriteFile(Path("marker.txt"), "x");
  // Shown window or not, the program runs; the exit code tells where it ran.
  for (bool showWindow : {false, true}) {
    Process process;
    ASSERT_EQ(kSuccess, process.Start("cmd.exe /c if exist marker.txt (exit 3) else (exit 4)",
                                      &dir_, showWindow));
    ErrorCode error = kSuccess;
    ASSERT_EQ(Process::WaitResult::Exited, process.Wait(60000, error));
    std::uint32_t code = 0;
    ASSERT_EQ(kSuccess, process.ExitCode(code));
    EXPECT_EQ(3u, code) << "showWindow " << showWindow;
  }
}

TEST_F(ProcessTest, TimesOutAndIsTerminated) {
  Process process;
  ASSERT_EQ(kSuccess, process.Start("ping.exe -n 30 127.0.0.1", nullptr, false));
  ErrorCode error = kSuccess;
  ASSERT_EQ(Process::WaitResult::TimedOut, process.Wait(100, error));
  std::uint32_t code = 0;
  ASSERT_EQ(kSuccess, process.ExitCode(code));
  EXPECT_EQ(static_cast<std::uint32_t>(STILL_ACTIVE), code);
  ASSERT_EQ(kSuccess, process.Terminate(42));
  ASSERT_EQ(Process::WaitResult::Exited, process.Wait(60000, error));
  ASSERT_EQ(kSuccess, process.ExitCode(code));
  EXPECT_EQ(42u, code);
}

TEST_F(ProcessTest, FailuresAreSystemErrors) {
  Process process;
  EXPECT_EQ(kFileNotFound, process.Start("vt_no_such_program.exe", nullptr, false));
  const std::string missingDir = Path("missing");
  EXPECT_NE(kSuccess, process.Start("cmd.exe /c exit 0", &missingDir, false));
  ErrorCode error = kSuccess;
  EXPECT_EQ(Process::WaitResult::Failed, process.Wait(0, error));
  EXPECT_EQ(kInvalidHandle, error);
  std::uint32_t code = 0;
  EXPECT_EQ(kInvalidHandle, process.ExitCode(code));
  EXPECT_EQ(kInvalidHandle, process.Terminate(0));
}

// ---------------------------------------------------------------- timers

struct Fired {
  std::promise<bool> promise;
  std::atomic<int> count{0};
};

void RecordFiring(void* parameter, bool timerFired) {
  auto* fired = static_cast<Fired*>(parameter);
  if (fired->count.fetch_add(1) == 0) fired->promise.set_value(timerFired);
}

TEST(TimerQueueTest, OneShotFiresOnceWithItsParameter) {
  for (bool defaultQueue : {false, true}) {
    TimerQueue queue;
    ASSERT_EQ(kSuccess, queue.Create());
    Fired fired;
    auto result = fired.promise.get_future();
    TimerHandle timer = nullptr;
    ASSERT_EQ(kSuccess, TimerQueue::AddOneShot(defaultQueue ? nullptr : &queue, 10, RecordFiring,
                                               &fired, timer));
    EXPECT_NE(nullptr, timer);
    ASSERT_EQ(std::future_status::ready, result.wait_for(std::chrono::seconds(30)))
        << "default queue " << defaultQueue;
    EXPECT_TRUE(result.get());
    ASSERT_EQ(kSuccess, queue.Delete());
    EXPECT_FALSE(queue.IsOpen());
    ::Sleep(50);  // a second firing would land here
    EXPECT_EQ(1, fired.count.load());
  }
}

TEST(TimerQueueTest, DeleteCancelsAPendingTimer) {
  TimerQueue queue;
  ASSERT_EQ(kSuccess, queue.Create());
  Fired fired;
  TimerHandle timer = nullptr;
  ASSERT_EQ(kSuccess, TimerQueue::AddOneShot(&queue, 600000, RecordFiring, &fired, timer));
  ASSERT_EQ(kSuccess, queue.Delete());
  EXPECT_EQ(0, fired.count.load());
  EXPECT_EQ(kInvalidHandle, queue.Delete());
  EXPECT_EQ(kInvalidHandle, TimerQueue::AddOneShot(&queue, 10, RecordFiring, &fired, timer));
}

// Re-arms itself from its own callback, as the log rotation does, until told to stop.
struct Chain {
  TimerQueue* queue = nullptr;
  std::atomic<int> runs{0};
  std::promise<void> third;
};

void ChainStep(void* parameter, bool) {
  auto* chain = static_cast<Chain*>(parameter);
  const int run = chain->runs.fetch_add(1) + 1;
  if (run == 3) chain->third.set_value();
  TimerHandle next = nullptr;
  TimerQueue::AddOneShot(chain->queue, run < 3 ? 5 : 600000, ChainStep, chain, next);
}

TEST(TimerQueueTest, CallbackArmsTheNextTimerAndDeleteStopsTheChain) {
  TimerQueue queue;
  ASSERT_EQ(kSuccess, queue.Create());
  Chain chain;
  chain.queue = &queue;
  auto third = chain.third.get_future();
  TimerHandle timer = nullptr;
  ASSERT_EQ(kSuccess, TimerQueue::AddOneShot(&queue, 5, ChainStep, &chain, timer));
  ASSERT_EQ(std::future_status::ready, third.wait_for(std::chrono::seconds(30)));
  ASSERT_EQ(kSuccess, queue.Delete());
  EXPECT_EQ(3, chain.runs.load());
}

TEST(TimerQueueTest, CreateTwiceIsRefused) {
  TimerQueue queue;
  ASSERT_EQ(kSuccess, queue.Create());
  EXPECT_EQ(kAlreadyExists, queue.Create());
  EXPECT_TRUE(queue.IsOpen());
}  // the destructor deletes the open queue

// ---------------------------------------------------------------- threads and time

TEST(MutexTest, SerialisesTwoThreads) {
  Mutex mutex;
  ASSERT_FALSE(mutex.IsCreated());
  ASSERT_EQ(kSuccess, mutex.Create());
  ASSERT_TRUE(mutex.IsCreated());
  long counter = 0;
  auto work = [&] {
    for (int i = 0; i < 2000; ++i) {
      mutex.Lock();
      const long seen = counter;
      SleepMilliseconds(0);  // invites the other thread in, if the lock let it
      counter = seen + 1;
      mutex.Unlock();
    }
  };
  std::thread other(work);
  work();
  other.join();
  EXPECT_EQ(4000, counter);
  mutex.Close();
  EXPECT_FALSE(mutex.IsCreated());
}

TEST(ThreadTest, IdsDifferBetweenThreads) {
  const std::uint32_t mine = CurrentThreadId();
  EXPECT_EQ(::GetCurrentThreadId(), mine);
  std::uint32_t theirs = mine;
  std::thread([&] { theirs = CurrentThreadId(); }).join();
  EXPECT_NE(mine, theirs);
}

TEST(ClockTest, LocalNowMatchesTheSystemClock) {
  SYSTEMTIME before{};
  ::GetLocalTime(&before);
  const LocalTime now = LocalNow();
  EXPECT_EQ(before.wYear, now.year);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_GE(now.day, 1);
  EXPECT_LE(now.day, 31);
  EXPECT_LE(now.hour, 23);
  EXPECT_LE(now.minute, 59);
  EXPECT_LE(now.second, 59);
  EXPECT_LE(now.millisecond, 999);
}

// ---------------------------------------------------------------- messages

TEST(MessageTest, SystemTextsComeWithoutLineBreaks) {
  std::wstring wide;
  ASSERT_TRUE(SystemMessageWide(kFileNotFound, wide));
  EXPECT_FALSE(wide.empty());
  EXPECT_EQ(std::wstring::npos, wide.find_first_of(L"\r\n"));
  std::string ansi;
  ASSERT_TRUE(SystemMessageAnsi(kFileNotFound, ansi));
  EXPECT_FALSE(ansi.empty());
  EXPECT_EQ(std::string::npos, ansi.find_first_of("\r\n"));
  // Codes with the customer bit set are never system errors: no text.
  EXPECT_FALSE(SystemMessageWide(0x20000001, wide));
  EXPECT_FALSE(SystemMessageAnsi(0x2000ABCD, ansi));
}

TEST(MessageTest, WideToUtf8) {
  struct Case {
    const wchar_t* wide;
    const char* utf8;
  } const cases[] = {
      {L"", ""},
      {L"plain", "plain"},
      {L"Gr\u00FC\u00DFe \u20AC", "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC"},
      {L"\u65E5\u672C", "\xE6\x97\xA5\xE6\x9C\xAC"},
      {L"\U0001F600", "\xF0\x9F\x98\x80"},  // a surrogate pair in UTF-16
  };
  for (const Case& c : cases) {
    std::string utf8 = "stale";
    EXPECT_EQ(kSuccess, WideToUtf8(c.wide, utf8)) << c.utf8;
    EXPECT_EQ(c.utf8, utf8);
  }
  std::string utf8;
  EXPECT_EQ(kInvalidParameter, WideToUtf8(nullptr, utf8));
}

}  // namespace
}  // namespace platform
