// The variables the program takes from its environment (the server settings, the UI log, the
// test-only timeouts and the platform's own), read once by the program's entry and handed
// down: nothing else reads the process's environment.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <string_view>

namespace velmorin {

class Environment {
 public:
  Environment() = default;
  // For tests: the given values, every other variable unset.
  explicit Environment(std::initializer_list<std::pair<const std::string, std::string>> values);

  // The program's variables as the process has them now.
  static Environment OfProcess();

  // The value of one of the program's variables as the process has it (bytes of the system's
  // code page); empty when it is unset or empty.
  std::string Get(std::string_view name) const;

 private:
  std::map<std::string, std::string, std::less<>> values_;
};

}  // namespace velmorin
