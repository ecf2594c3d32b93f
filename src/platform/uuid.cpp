#include "platform/uuid.h"

#include <uuid/uuid.h>

namespace Vs5Platform {

std::string NewUuidString() {
    uuid_t id;
    uuid_generate(id);
    char text[37];
    uuid_unparse_lower(id, text);
    return std::string(text, 36);
}

}  // namespace Vs5Platform
