// Accessibility: the elements of other applications' interfaces and their attributes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/geometry.h"

namespace lumora::platform {

// An opaque element reference; compare with Accessibility::equal, never by pointer.
class AXElementHandle {
  public:
    virtual ~AXElementHandle() = default;
};
using AXElement = std::shared_ptr<const AXElementHandle>;

// Attribute values as the platform types them: strings, booleans, numbers, elements, ranges
// (CFRange), rectangles (CGRect), points and sizes.
using AXValue = std::variant<std::string, bool, double, AXElement, TextRange, Rect, Point, Size,
                             std::vector<AXElement>>;

// Accessibility error codes, as the platform reports them.
enum AXError : std::int32_t {
    axSuccess = 0,
    axFailure = -25200,
    axIllegalArgument = -25201,
    axInvalidElement = -25202,
    axCannotComplete = -25204,
    axAttributeUnsupported = -25205,
    axNotImplemented = -25208,
    axNoValue = -25212,
};

class Accessibility {
  public:
    virtual ~Accessibility() = default;

    virtual AXElement applicationElement(pid_t pid) = 0;
    virtual AXElement systemWideElement() = 0;
    // None when the read reports any error.
    virtual std::optional<AXValue> copyAttribute(const AXElement& element,
                                                 std::string_view name) = 0;
    virtual std::optional<AXValue> copyParameterizedAttribute(const AXElement& element,
                                                              std::string_view name,
                                                              const AXValue& parameter) = 0;
    virtual AXError setAttribute(const AXElement& element, std::string_view name,
                                 const AXValue& value) = 0;
    // None when the test itself fails.
    virtual std::optional<bool> isAttributeSettable(const AXElement& element,
                                                    std::string_view name) = 0;
    virtual std::optional<pid_t> pid(const AXElement& element) = 0;
    virtual bool equal(const AXElement& a, const AXElement& b) = 0;
};

}  // namespace lumora::platform
