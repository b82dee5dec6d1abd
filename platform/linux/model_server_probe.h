// Asks the configured (or a well-known) local model server whether it can answer: which server
// answers, which models it serves, whether it is still loading, whether it refuses us, and
// whether the model used with screenshots takes images. Each exchange is bounded, so a dead or
// hung server costs a status report a fraction of a second.
#pragma once

#include <optional>
#include <string>

#include "platform/linux/model_server_connection.h"
#include "platform/linux/model_server_settings.h"

namespace lumora::platform {

struct ModelServerState {
    // The availability's textual form: "available", or "unavailable(reason): what is wrong".
    std::string description;
    // Set when a server answers and serves both models.
    std::optional<ModelServerConnection> server;
    std::string apiPath;
    std::string standardModel;
    std::string generalModel;
    bool takesImages = false;  // the general model's
};

ModelServerState probeModelServer(const ModelServerSettings& settings, double boundSeconds);

}  // namespace lumora::platform
