#include "reader-host/deployment.h"

namespace lumora::ReaderHost {

const std::string_view allowedOrigin = "chrome-extension://" LUMORA_READER_EXTENSION_ID "/";

const std::array<std::string_view, 2> allowedReaderHosts = {LUMORA_READER_HOST_1,
                                                            LUMORA_READER_HOST_2};

}  // namespace lumora::ReaderHost
