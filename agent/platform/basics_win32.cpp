// Win32: the mutex, sleeping, thread ids, the local clock and system message texts.
#include <windows.h>

#include <string>
#include <vector>

#include "agent/platform/platform.h"

namespace platform {

namespace {

// Message texts from the system table, inserts ignored, the message's own line
// breaks dropped (maximum-width mask), neutral language with the default sub-language.
constexpr DWORD kMessageFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
constexpr DWORD kMessageLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);

// Frees a buffer that FormatMessage allocated.
template <typename Char>
struct LocalBuffer {
  Char* text = nullptr;
  LocalBuffer() = default;
  LocalBuffer(const LocalBuffer&) = delete;
  LocalBuffer& operator=(const LocalBuffer&) = delete;
  ~LocalBuffer() { ::LocalFree(text); }
};

}  // namespace

// ---------------------------------------------------------------- mutex

struct Mutex::Impl {
  HANDLE handle = nullptr;

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() { ::CloseHandle(handle); }
};

Mutex::Mutex() = default;
Mutex::~Mutex() = default;

ErrorCode Mutex::Create() {
  HANDLE handle = ::CreateMutexA(nullptr, FALSE, nullptr);
  if (handle == nullptr) return ::GetLastError();
  impl_ = std::make_unique<Impl>();
  impl_->handle = handle;
  return kSuccess;
}

void Mutex::Lock() { ::WaitForSingleObject(impl_->handle, INFINITE); }
void Mutex::Unlock() { ::ReleaseMutex(impl_->handle); }
void Mutex::Close() { impl_.reset(); }
bool Mutex::IsCreated() const { return impl_ != nullptr; }

// ---------------------------------------------------------------- threads and time

void SleepMilliseconds(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

std::uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }

LocalTime LocalNow() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return LocalTime{now.wYear, now.wMonth,  now.wDay,         now.wHour,
                   now.wMinute, now.wSecond, now.wMilliseconds};
}

// ---------------------------------------------------------------- messages

bool SystemMessageWide(ErrorCode code, std::wstring& text) {
  LocalBuffer<wchar_t> buffer;
  const DWORD length = ::FormatMessageW(kMessageFlags, nullptr, code, kMessageLanguage,
                                        reinterpret_cast<LPWSTR>(&buffer.text), 0, nullptr);
  if (length == 0 || buffer.text == nullptr) return false;
  text.assign(buffer.text, length);
  return true;
}

bool SystemMessageAnsi(ErrorCode code, std::string& text) {
  LocalBuffer<char> buffer;
  const DWORD length = ::FormatMessageA(kMessageFlags, nullptr, code, kMessageLanguage,
                                        reinterpret_cast<LPSTR>(&buffer.text), 0, nullptr);
  if (length == 0 || buffer.text == nullptr) return false;
  text.assign(buffer.text, length);
  return true;
}

ErrorCode WideToUtf8(const wchar_t* wide, std::string& utf8) {
  if (wide == nullptr) return kInvalidParameter;
  // The length first (terminator included), then the conversion into a zeroed buffer.
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (bytes == 0) {
    const ErrorCode error = ::GetLastError();
    utf8.clear();
    return error;
  }
  std::vector<char> buffer(static_cast<std::size_t>(bytes) + 1, '\0');
  const int written =
      ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, buffer.data(), bytes, nullptr, nullptr);
  const ErrorCode error = written == 0 ? ::GetLastError() : kSuccess;
  utf8.assign(buffer.data());
  return error;
}

}  // namespace platform
