// Reading and changing this process's environment in tests, the same on Linux and Windows.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace tarn::test {

inline std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

// Nothing removes the variable.
inline void SetVariable(const char* name, const std::optional<std::string>& value) {
#ifdef _WIN32
  // Also the process's environment, which GetTempPath reads and child processes inherit; an
  // empty value removes the variable.
  _putenv_s(name, value ? value->c_str() : "");
#else
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
#endif
}

// TARN_ALLOW_STAND_IN set ("1") or taken out for one scope, then as it was.
class StandInOptIn {
 public:
  explicit StandInOptIn(bool allowed) : m_before(Variable(kName)) {
    SetVariable(kName, allowed ? std::optional<std::string>("1") : std::nullopt);
  }
  ~StandInOptIn() { SetVariable(kName, m_before); }
  StandInOptIn(const StandInOptIn&) = delete;
  StandInOptIn& operator=(const StandInOptIn&) = delete;

 private:
  static constexpr char kName[] = "TARN_ALLOW_STAND_IN";
  std::optional<std::string> m_before;
};

}  // namespace tarn::test
