// Environment: the one place that reads the process's environment.
#include "common/environment.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <stdexcept>

namespace velmorin {
namespace {

// Every variable the program reads; a name missing here would silently read as unset.
constexpr std::array<std::string_view, 15> kVariables = {
    "VELMORIN_UPDATE_SERVER", "VELMORIN_COUNCIL_SITE",   "VELMORIN_COOP_SITE",
    "VELMORIN_UPDATE_DOMAIN", "VELMORIN_UPDATE_ADDRESS", "VELMORIN_UPDATE_HOSTNAME",
    "VELMORIN_UI_LOG",        "VELMORIN_DRIVES",         "VELMORIN_CONNECT_TIMEOUT",
    "VELMORIN_STALL_TIMEOUT", "VELMORIN_CA_FILE",        "VELMORIN_COMMAND_LOG",
    "VELMORIN_UNATTENDED",    "VELMORIN_REPORT",
    "LOCALAPPDATA",  // Windows: where the run report goes unless VELMORIN_REPORT names a file
};

void CheckKnown(std::string_view name) {
  if (std::find(kVariables.begin(), kVariables.end(), name) == kVariables.end()) {
    throw std::logic_error("not a variable of the program: " + std::string(name));
  }
}

}  // namespace

Environment::Environment(std::initializer_list<std::pair<const std::string, std::string>> values) : values_(values) {
  for (const auto& [name, value] : values_) CheckKnown(name);
}

Environment Environment::OfProcess() {
  Environment env;
  for (std::string_view name : kVariables) {
    const char* value = std::getenv(std::string(name).c_str());
    if (value != nullptr && *value != '\0') env.values_.emplace(name, value);
  }
  return env;
}

std::string Environment::Get(std::string_view name) const {
  CheckKnown(name);
  const auto it = values_.find(name);
  return it == values_.end() ? std::string() : it->second;
}

}  // namespace velmorin
