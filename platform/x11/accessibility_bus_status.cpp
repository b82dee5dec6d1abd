#include "platform/x11/accessibility_bus_status.h"

#include <gio/gio.h>

#include "platform/x11/atspi_thread.h"

namespace lumora::x11 {

namespace {

constexpr const char* launcher = "org.a11y.Bus";
constexpr const char* launcherPath = "/org/a11y/bus";
constexpr const char* statusInterface = "org.a11y.Status";
constexpr const char* enabledProperty = "IsEnabled";

}  // namespace

// A private connection: the shared one GIO hands out ends the process when the bus closes.
struct AccessibilityBusStatus::Connection {
    GDBusConnection* bus = nullptr;
    ~Connection() {
        if (bus) g_object_unref(bus);
    }
};

AccessibilityBusStatus::AccessibilityBusStatus() = default;
AccessibilityBusStatus::~AccessibilityBusStatus() = default;

AccessibilityBusStatus::Connection* AccessibilityBusStatus::connection() {
    if (connection_ && !g_dbus_connection_is_closed(connection_->bus)) return connection_.get();
    connection_.reset();
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!address) return nullptr;
    auto flags = static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                   G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
    GDBusConnection* bus =
        g_dbus_connection_new_for_address_sync(address, flags, nullptr, nullptr, nullptr);
    g_free(address);
    if (!bus) return nullptr;
    connection_ = std::make_unique<Connection>();
    connection_->bus = bus;
    return connection_.get();
}

std::optional<bool> AccessibilityBusStatus::isEnabled() {
    std::lock_guard lock(mutex_);
    Connection* session = connection();
    if (!session) return std::nullopt;
    GVariant* reply = g_dbus_connection_call_sync(
        session->bus, launcher, launcherPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", statusInterface, enabledProperty), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, AtspiThread::callTimeoutMilliseconds, nullptr, nullptr);
    if (!reply) return std::nullopt;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    std::optional<bool> enabled;
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN)) {
        enabled = g_variant_get_boolean(value) != FALSE;
    }
    g_variant_unref(value);
    g_variant_unref(reply);
    return enabled;
}

bool AccessibilityBusStatus::enable() {
    std::lock_guard lock(mutex_);
    Connection* session = connection();
    if (!session) return false;
    GVariant* reply = g_dbus_connection_call_sync(
        session->bus, launcher, launcherPath, "org.freedesktop.DBus.Properties", "Set",
        g_variant_new("(ssv)", statusInterface, enabledProperty, g_variant_new_boolean(TRUE)),
        nullptr, G_DBUS_CALL_FLAGS_NONE, AtspiThread::callTimeoutMilliseconds, nullptr, nullptr);
    if (!reply) return false;
    g_variant_unref(reply);
    return true;
}

}  // namespace lumora::x11
