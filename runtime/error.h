// Failures the system reports: a domain, a code, the user-facing description and extra entries.
// Cancellation is deliberately a different type, so that catch sites cannot confuse the two.
#pragma once

#include <exception>
#include <map>
#include <string>

namespace lumora {

struct Error : std::exception {
    Error(std::string domain, int code, std::string description,
          std::map<std::string, std::string> extra = {})
        : domain(std::move(domain)),
          code(code),
          description(std::move(description)),
          extra(std::move(extra)) {}

    const char* what() const noexcept override { return description.c_str(); }

    std::string domain;
    int code;
    std::string description;
    std::map<std::string, std::string> extra;
};

struct Cancelled : std::exception {
    const char* what() const noexcept override { return "Cancelled"; }
};

// What an awaiting task receives when the work it waits for is dropped without an answer (a
// callback the platform never calls, a producer that goes away without finishing).
inline Error abandonedWork() {
    return Error("Lumora.Runtime", 1, "The operation ended without a result.");
}

}  // namespace lumora
