// Plain geometry shared by the ports: screen points with a top-left origin unless a port says
// otherwise.
#pragma once

namespace lumora::platform {

struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const Rect&) const = default;
};

// A range of UTF-16 code units, as text fields report selections.
struct TextRange {
    long location = 0;
    long length = 0;
    bool operator==(const TextRange&) const = default;
};

}  // namespace lumora::platform
