// Names for parameterised tests, which gtest allows only letters, digits and '_' in.
#pragma once

#include <cctype>
#include <ostream>
#include <string>
#include <string_view>

namespace tarn::test {

// A case's description as a test name: every other character becomes '_'.
inline std::string TestName(std::string_view description) {
  std::string name(description);
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

// Failure messages and the test list show a table's case by its name, not its bytes. A table's
// file brings it in with `using test::PrintTo;`, where gtest looks for it beside the case.
template <typename Case>
requires requires(const Case& c) {
  std::string_view(c.name);
}
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

}  // namespace tarn::test
