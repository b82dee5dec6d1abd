#include "reader-host/ocr_output.h"

#include <cerrno>
#include <cstring>

#include "reader-host/failure.h"
#include "runtime/atomic_file.h"

namespace lumora::ReaderHost {
namespace {

constexpr mode_t privateDirectory = 0700;
constexpr mode_t privateFile = 0600;

[[noreturn]] void failWithErrno(int error, const std::string& path) {
    throw Error("POSIX", error, path + ": " + std::strerror(error));
}

std::string joined(std::string root, std::string_view name) {
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    if (root != "/") root += '/';
    return root + std::string(name);
}

}  // namespace

std::string writeOcrOutput(const std::string& root, std::string_view requestId,
                           const platform::Image& crop, std::string_view text,
                           platform::Images& images) {
    const std::string directory = joined(root, requestId);
    errno = 0;
    if (!files::createDirectories(directory, privateDirectory))
        failWithErrno(errno != 0 ? errno : ENOTDIR, directory);

    const auto png = images.encodePng(crop);
    if (!png || !files::replaceAtomically(joined(directory, "book-area.png"), *png, privateFile))
        throw failure(cannotSaveCrop);

    const std::string textPath = joined(directory, "ocr.txt");
    errno = 0;
    if (!files::replaceAtomically(textPath, text, privateFile))
        failWithErrno(errno != 0 ? errno : EIO, textPath);
    return directory;
}

}  // namespace lumora::ReaderHost
