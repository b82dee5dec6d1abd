#include "reader-host/byte_streams.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "runtime/error.h"

namespace lumora::ReaderHost {
namespace {

[[noreturn]] void failWithErrno(int error) {
    throw Error("POSIX", error, std::strerror(error));
}

}  // namespace

std::size_t FileDescriptorInput::read(char* into, std::size_t capacity) {
    while (true) {
        const ssize_t got = ::read(fd_, into, capacity);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) failWithErrno(errno);
    }
}

void FileDescriptorOutput::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t wrote = ::write(fd_, bytes.data(), bytes.size());
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote < 0) failWithErrno(errno);
        if (wrote == 0) failWithErrno(EIO);
        bytes.remove_prefix(static_cast<std::size_t>(wrote));
    }
}

}  // namespace lumora::ReaderHost
