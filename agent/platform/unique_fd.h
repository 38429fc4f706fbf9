// Linux only: a file descriptor that closes itself, so every early return of the
// platform code releases what it opened. The object owns its descriptor until
// release() hands it back to the caller. Move-only; one thread at a time.
#pragma once

#include <unistd.h>

#include <utility>

namespace platform::host {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now and reports the result, for writes whose last error shows up at close.
  int close() { return fd_ >= 0 ? ::close(release()) : 0; }

 private:
  int fd_ = -1;
};

}  // namespace platform::host
