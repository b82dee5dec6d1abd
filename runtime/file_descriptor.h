// An owned POSIX file descriptor, closed when it goes out of scope; -1 owns nothing.
#pragma once

#include <unistd.h>

#include <utility>

namespace lumora {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        close();
        fd_ = std::exchange(other.fd_, -1);
        return *this;
    }
    ~FileDescriptor() { close(); }
    int get() const { return fd_; }
    void close() {
        if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    }

  private:
    int fd_;
};

}  // namespace lumora
