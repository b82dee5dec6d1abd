// Owned references to libatspi's GObjects, released when they go out of scope. They are made,
// used and dropped on the accessibility thread only.
#pragma once

#include <atspi/atspi.h>

#include <memory>
#include <string>

namespace lumora::x11 {

struct GObjectUnref {
    void operator()(void* object) const {
        if (object) g_object_unref(object);
    }
};

template <class T>
using GRef = std::unique_ptr<T, GObjectUnref>;

// A new reference to an object someone else holds.
template <class T>
GRef<T> retain(T* object) {
    return GRef<T>(object ? static_cast<T*>(g_object_ref(object)) : nullptr);
}

// The bus connection of the element's application: its identity on the bus, never reused.
inline std::string busNameOf(AtspiAccessible* element) {
    AtspiObject* object = ATSPI_OBJECT(element);
    return object->app && object->app->bus_name ? object->app->bus_name : "";
}

// Frees a GError on every path.
struct ErrorSlot {
    GError* error = nullptr;
    ~ErrorSlot() {
        if (error) g_error_free(error);
    }
    GError** out() { return &error; }
    bool failed() const { return error != nullptr; }
};

}  // namespace lumora::x11
