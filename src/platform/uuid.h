#pragma once

#include <string>

namespace Vs5Platform {

// A new random UUID as 36 lower-case characters.
std::string NewUuidString();

}  // namespace Vs5Platform
