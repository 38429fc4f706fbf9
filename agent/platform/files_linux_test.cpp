#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "agent/platform/platform.h"
#include "agent/platform/test_machine.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.WriteFile("C:\\Data\\live.log", "0123456789");
    machine_.WriteFile("C:\\Data\\other.log", "other");
  }
  testing::TestMachine machine_;
};

TEST_F(FilesTest, SharingRulesOfTwoHandles) {
  struct Case {
    FileShare first;
    FileShare second;
    ErrorCode expected;
  } const cases[] = {
      {FileShare::None, FileShare::None, kSharingViolation},
      {FileShare::None, FileShare::ReadWriteDelete, kSharingViolation},
      {FileShare::ReadWriteDelete, FileShare::None, kSharingViolation},
      {FileShare::ReadWriteDelete, FileShare::ReadWriteDelete, kSuccess},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.first) * 10 + static_cast<int>(c.second));
    File first;
    ASSERT_EQ(kSuccess, first.Open("C:\\Data\\live.log", FileAccess::ReadWrite, c.first,
                                   FileDisposition::OpenExisting));
    File second;
    EXPECT_EQ(c.expected, second.Open("c:\\data\\LIVE.LOG", FileAccess::ReadWrite, c.second,
                                      FileDisposition::OpenExisting));
    EXPECT_EQ(c.expected == kSuccess, second.IsOpen());
    // Once both handles are gone the file opens without sharing.
    first.Close();
    second.Close();
    File third;
    EXPECT_EQ(kSuccess, third.Open("C:\\Data\\live.log", FileAccess::ReadWrite, FileShare::None,
                                   FileDisposition::OpenExisting));
  }
}

TEST_F(FilesTest, HandleOfAnotherProcessCountsToo) {
  int ready[2];
  int release[2];
  ASSERT_EQ(0, ::pipe(ready));
  ASSERT_EQ(0, ::pipe(release));
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(ready[0]);
    ::close(release[1]);
    File held;
    char byte = held.Open("C:\\Data\\live.log", FileAccess::ReadWrite, FileShare::None,
                          FileDisposition::OpenExisting) == kSuccess ? 'y' : 'n';
    (void)!::write(ready[1], &byte, 1);
    (void)!::read(release[0], &byte, 1);  // until the parent closes its end
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  char byte = 0;
  ASSERT_EQ(1, ::read(ready[0], &byte, 1));
  ASSERT_EQ('y', byte);
  File mine;
  EXPECT_EQ(kSharingViolation, mine.Open("C:\\Data\\live.log", FileAccess::ReadWrite,
                                         FileShare::ReadWriteDelete, FileDisposition::OpenExisting));
  EXPECT_EQ(kSharingViolation, RemoveFile("C:\\Data\\live.log"));
  ::close(release[1]);
  int status = 0;
  ASSERT_EQ(child, ::waitpid(child, &status, 0));
  ::close(ready[0]);
  EXPECT_EQ(kSuccess, mine.Open("C:\\Data\\live.log", FileAccess::ReadWrite, FileShare::None,
                                FileDisposition::OpenExisting));
}

TEST_F(FilesTest, OpenLogStreamSharesLikeACRuntimeStream) {
  std::FILE* log = OpenLogStream("C:\\Data\\live.log", false);
  ASSERT_NE(nullptr, log);
  File exclusive;
  EXPECT_EQ(kSharingViolation, exclusive.Open("C:\\Data\\live.log", FileAccess::ReadWrite,
                                              FileShare::None, FileDisposition::OpenExisting));
  // The rotation truncates the live log through a sharing handle while it is open.
  File truncating;
  ASSERT_EQ(kSuccess, truncating.Open("C:\\Data\\live.log", FileAccess::ReadWrite,
                                      FileShare::ReadWriteDelete, FileDisposition::TruncateExisting));
  std::uint64_t size = 99;
  EXPECT_EQ(kSuccess, truncating.Size(size));
  EXPECT_EQ(0u, size);
  truncating.Close();
  std::fputs("after\n", log);
  std::fclose(log);
  EXPECT_EQ("after\n", machine_.ReadFile("C:\\Data\\live.log"));

  // A log cannot be opened (and so cannot be truncated) over a handle that shares nothing.
  ASSERT_EQ(kSuccess, exclusive.Open("C:\\Data\\other.log", FileAccess::ReadWrite, FileShare::None,
                                     FileDisposition::OpenExisting));
  EXPECT_EQ(nullptr, OpenLogStream("C:\\Data\\other.log", true));
  EXPECT_EQ("other", machine_.ReadFile("C:\\Data\\other.log"));
}

TEST_F(FilesTest, OpenReportsMissingFilesAndDirectories) {
  File file;
  EXPECT_EQ(kFileNotFound, file.Open("C:\\Data\\none.log", FileAccess::ReadWrite,
                                     FileShare::ReadWriteDelete, FileDisposition::OpenExisting));
  EXPECT_EQ(kPathNotFound, file.Open("C:\\Nowhere\\none.log", FileAccess::ReadWrite,
                                     FileShare::ReadWriteDelete, FileDisposition::OpenExisting));
  EXPECT_EQ(kFileNotFound, file.Open("C:\\Data\\none.log", FileAccess::ReadSecurityOnly,
                                     FileShare::None, FileDisposition::OpenExisting));
  EXPECT_EQ(kAccessDenied, file.Open("C:\\Data", FileAccess::ReadWrite, FileShare::None,
                                     FileDisposition::OpenExisting));
  EXPECT_FALSE(file.IsOpen());
  std::uint64_t size = 0;
  EXPECT_EQ(kInvalidHandle, file.Size(size));
  EXPECT_FALSE(machine_.Exists("C:\\Data\\none.log"));
}

TEST_F(FilesTest, SecurityOnlyHandleReadsTheSizeWhateverTheSharing) {
  File exclusive;
  ASSERT_EQ(kSuccess, exclusive.Open("C:\\Data\\live.log", FileAccess::ReadWrite, FileShare::None,
                                     FileDisposition::OpenExisting));
  File metadata;
  ASSERT_EQ(kSuccess, metadata.Open("C:\\Data\\live.log", FileAccess::ReadSecurityOnly,
                                    FileShare::None, FileDisposition::OpenExisting));
  std::uint64_t size = 0;
  EXPECT_EQ(kSuccess, metadata.Size(size));
  EXPECT_EQ(10u, size);
}

TEST_F(FilesTest, TruncateExistingEmptiesTheFile) {
  File file;
  ASSERT_EQ(kSuccess, file.Open("C:\\Data\\live.log", FileAccess::ReadWrite, FileShare::None,
                                FileDisposition::TruncateExisting));
  EXPECT_EQ("", machine_.ReadFile("C:\\Data\\live.log"));
  File missing;
  EXPECT_EQ(kFileNotFound, missing.Open("C:\\Data\\new.log", FileAccess::ReadWrite, FileShare::None,
                                        FileDisposition::TruncateExisting));
  EXPECT_FALSE(machine_.Exists("C:\\Data\\new.log"));
}

TEST_F(FilesTest, CopyReplacesTheTargetWithTheSourceContents) {
  ASSERT_EQ(kSuccess, CopyFileReplacing("C:\\Data\\live.log", "C:\\Data\\other.log"));
  EXPECT_EQ("0123456789", machine_.ReadFile("C:\\Data\\other.log"));
  ASSERT_EQ(kSuccess, CopyFileReplacing("C:\\Data\\live.log", "C:\\Data\\copy1.log"));
  EXPECT_EQ("0123456789", machine_.ReadFile("C:\\Data\\copy1.log"));
  EXPECT_EQ("0123456789", machine_.ReadFile("C:\\Data\\live.log"));
  // Nothing but the three files is left in the directory.
  std::vector<std::string> names;
  for (const fs::directory_entry& e : fs::directory_iterator(machine_.Host("C:\\Data")))
    names.push_back(e.path().filename().string());
  EXPECT_EQ(3u, names.size());
}

TEST_F(FilesTest, FailedCopyLeavesTheTargetAlone) {
  struct Case {
    const char* from;
    const char* to;
    ErrorCode expected;
  } const cases[] = {
      {"C:\\Data\\missing.log", "C:\\Data\\other.log", kFileNotFound},
      {"C:\\Missing\\x.log", "C:\\Data\\other.log", kPathNotFound},
      {"C:\\Data\\live.log", "C:\\Missing\\x.log", kPathNotFound},
      {"C:\\Data", "C:\\Data\\other.log", kAccessDenied},
      {"C:\\Data\\live.log", "C:\\Windows", kAccessDenied},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, CopyFileReplacing(c.from, c.to)) << c.from << " -> " << c.to;
    EXPECT_EQ("other", machine_.ReadFile("C:\\Data\\other.log"));
    EXPECT_TRUE(fs::is_directory(machine_.Host("C:\\Windows\\system32")));
  }
  // A target held without sharing stays as it is.
  File held;
  ASSERT_EQ(kSuccess, held.Open("C:\\Data\\other.log", FileAccess::ReadWrite, FileShare::None,
                                FileDisposition::OpenExisting));
  EXPECT_EQ(kSharingViolation, CopyFileReplacing("C:\\Data\\live.log", "C:\\Data\\other.log"));
  EXPECT_EQ("other", machine_.ReadFile("C:\\Data\\other.log"));
}

TEST_F(FilesTest, RemoveFile) {
  EXPECT_EQ(kSuccess, RemoveFile("C:\\Data\\OTHER.log"));
  EXPECT_FALSE(machine_.Exists("C:\\Data\\other.log"));
  EXPECT_EQ(kFileNotFound, RemoveFile("C:\\Data\\other.log"));
  EXPECT_EQ(kPathNotFound, RemoveFile("C:\\Gone\\other.log"));
  EXPECT_EQ(kAccessDenied, RemoveFile("C:\\Data"));
  File held;
  ASSERT_EQ(kSuccess, held.Open("C:\\Data\\live.log", FileAccess::ReadWrite, FileShare::None,
                                FileDisposition::OpenExisting));
  EXPECT_EQ(kSharingViolation, RemoveFile("C:\\Data\\live.log"));
  EXPECT_TRUE(machine_.Exists("C:\\Data\\live.log"));
}

TEST_F(FilesTest, RenameNeverReplaces) {
  EXPECT_EQ(kAlreadyExists, RenameFile("C:\\Data\\live.log", "C:\\Data\\other.log"));
  EXPECT_EQ("0123456789", machine_.ReadFile("C:\\Data\\live.log"));
  EXPECT_EQ("other", machine_.ReadFile("C:\\Data\\other.log"));
  EXPECT_EQ(kAlreadyExists, RenameFile("C:\\Data\\live.log", "C:\\Windows"));

  ASSERT_EQ(kSuccess, RenameFile("C:\\Data\\live.log", "C:\\Data\\renamed.log"));
  EXPECT_FALSE(machine_.Exists("C:\\Data\\live.log"));
  EXPECT_EQ("0123456789", machine_.ReadFile("C:\\Data\\renamed.log"));

  EXPECT_EQ(kFileNotFound, RenameFile("C:\\Data\\live.log", "C:\\Data\\again.log"));
  EXPECT_EQ(kPathNotFound, RenameFile("C:\\Gone\\live.log", "C:\\Data\\again.log"));
  EXPECT_EQ(kPathNotFound, RenameFile("C:\\Data\\renamed.log", "C:\\Gone\\again.log"));
  EXPECT_TRUE(machine_.Exists("C:\\Data\\renamed.log"));
}

class ListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"app.log", "App1.log", "app2.log", "other.txt", "noext", "appendix"})
      machine_.WriteFile(std::string("C:\\Logs\\") + name, "x");
    machine_.MakeDirectory("C:\\Logs\\Sub.d");
  }
  // Every name the listing returns, in order; the error that ended it in `end`.
  std::vector<std::string> List(const std::string& pattern, ErrorCode& end) {
    std::vector<std::string> names;
    DirectoryListing listing;
    end = listing.Start(pattern);
    if (end != kSuccess) return names;
    EXPECT_NE(0, listing.Id());
    do names.push_back(listing.Name());
    while ((end = listing.Next()) == kSuccess);
    return names;
  }
  testing::TestMachine machine_;
};

TEST_F(ListingTest, PatternsMatchAsOnWindows) {
  using Names = std::vector<std::string>;
  struct Case {
    const char* pattern;
    Names expected;
  } const cases[] = {
      {"C:\\Logs\\*.*", {".", "..", "app.log", "App1.log", "app2.log", "appendix", "noext", "other.txt", "Sub.d"}},
      {"C:\\Logs\\*", {".", "..", "app.log", "App1.log", "app2.log", "appendix", "noext", "other.txt", "Sub.d"}},
      {"C:\\Logs\\app*.*", {"app.log", "App1.log", "app2.log", "appendix"}},
      {"c:\\LOGS\\APP?.LOG", {"App1.log", "app2.log"}},
      {"C:\\Logs\\*.log", {"app.log", "App1.log", "app2.log"}},
      {"C:\\Logs\\noext.*", {"noext"}},
      {"C:\\Logs\\*.D", {"Sub.d"}},
      {"C:\\Logs\\other.txt", {"other.txt"}},
      {"C:\\Logs\\*t", {"noext", "other.txt"}},
  };
  for (const Case& c : cases) {
    ErrorCode end = kSuccess;
    EXPECT_EQ(c.expected, List(c.pattern, end)) << c.pattern;
    EXPECT_EQ(kNoMoreFiles, end) << c.pattern;
  }
}

TEST_F(ListingTest, NothingMatchingAndMissingDirectories) {
  struct Case {
    const char* pattern;
    ErrorCode expected;
  } const cases[] = {
      {"C:\\Logs\\zzz*", kFileNotFound},
      {"C:\\Logs\\app", kFileNotFound},
      {"C:\\Missing\\*.*", kPathNotFound},
      {"C:\\Logs\\app.log\\*", kPathNotFound},
  };
  for (const Case& c : cases) {
    DirectoryListing listing;
    EXPECT_EQ(c.expected, listing.Start(c.pattern)) << c.pattern;
    EXPECT_EQ("", listing.Name());
    EXPECT_EQ(kInvalidHandle, listing.Next());
  }
}

TEST_F(ListingTest, NextStaysAtTheEnd) {
  DirectoryListing listing;
  ASSERT_EQ(kSuccess, listing.Start("C:\\Logs\\other.*"));
  EXPECT_EQ("other.txt", listing.Name());
  EXPECT_EQ(kNoMoreFiles, listing.Next());
  EXPECT_EQ(kNoMoreFiles, listing.Next());
  DirectoryListing second;
  ASSERT_EQ(kSuccess, second.Start("C:\\Logs\\*.*"));
  EXPECT_NE(listing.Id(), second.Id());
  listing.Close();
  EXPECT_EQ(kInvalidHandle, listing.Next());
}

}  // namespace
}  // namespace platform
