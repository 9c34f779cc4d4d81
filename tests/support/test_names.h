// Names for parameterised tests, which gtest allows only letters, digits and '_' in.
#pragma once

#include <cctype>
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

}  // namespace tarn::test
