// The byte streams the browser connects to the host: blocking reads that may return fewer bytes
// than asked for, and writes that deliver everything or fail.
#pragma once

#include <cstddef>
#include <string_view>

namespace lumora::ReaderHost {

class ByteInput {
  public:
    virtual ~ByteInput() = default;
    // At most `capacity` bytes into `into`; 0 only at the end of input. Throws lumora::Error
    // when reading fails.
    virtual std::size_t read(char* into, std::size_t capacity) = 0;
};

class ByteOutput {
  public:
    virtual ~ByteOutput() = default;
    // All of `bytes`, or throws lumora::Error.
    virtual void write(std::string_view bytes) = 0;
};

class FileDescriptorInput final : public ByteInput {
  public:
    explicit FileDescriptorInput(int fd) : fd_(fd) {}
    std::size_t read(char* into, std::size_t capacity) override;

  private:
    int fd_;
};

class FileDescriptorOutput final : public ByteOutput {
  public:
    explicit FileDescriptorOutput(int fd) : fd_(fd) {}
    void write(std::string_view bytes) override;

  private:
    int fd_;
};

}  // namespace lumora::ReaderHost
