#include "cli/port_choice.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "session/port_preselection.h"

namespace tarn::cli {
namespace {

// The instance the command line stands for: it takes no instance slot of its own.
constexpr int32_t kInstanceNumber = 1;

const char* Label(PortDirection direction) {
  return direction == PortDirection::kIn ? "MIDI IN" : "MIDI OUT";
}

const char* Option(PortDirection direction) {
  return direction == PortDirection::kIn ? "--in" : "--out";
}

std::optional<size_t> AsIndex(const std::string& text) {
  size_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

PortChoice Preselected(PortDirection direction, const std::vector<std::string>& names) {
  const int32_t index = PreselectedPort(names, kInstanceNumber);
  if (index >= 0) return {index, {}};
  // Entry 0 of the preferred names is in code page 932 and would not print as text here.
  return {-1, std::string("no ") + Label(direction) + " port is named " +
                  Quoted(PreferredPortNames[2]) + " or " + Quoted(PreferredPortNames[1]) +
                  "; choose one with " + Option(direction) + " (see --list)"};
}

}  // namespace

PortChoice ChoosePort(PortDirection direction, const std::optional<std::string>& request,
                      const std::vector<std::string>& names) {
  if (!request) return Preselected(direction, names);
  if (const auto index = AsIndex(*request); index && *index < names.size()) {
    return {static_cast<int32_t>(*index), {}};
  }
  std::vector<size_t> matches;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == *request) matches.push_back(i);
  }
  if (matches.size() == 1) return {static_cast<int32_t>(matches.front()), {}};
  if (matches.empty()) {
    const std::string count = std::to_string(names.size());
    return {-1, std::string("no ") + Label(direction) + " port " +
                    (AsIndex(*request) ? *request + " (there are " + count + ")"
                                       : "is named " + Quoted(*request)) +
                    "; see --list"};
  }
  std::string indices;
  for (const size_t i : matches)
    indices += (indices.empty() ? "" : ", ") + std::to_string(i);
  return {-1, std::to_string(matches.size()) + " " + Label(direction) + " ports are named " +
                  Quoted(*request) + " (" + indices + "); choose one by index with " +
                  Option(direction)};
}

std::vector<std::string> PortListLines(const std::vector<std::string>& inputs,
                                       const std::vector<std::string>& outputs) {
  std::vector<std::string> lines;
  const auto add = [&lines](const char* direction, const std::vector<std::string>& names) {
    const int32_t preselected = PreselectedPort(names, kInstanceNumber);
    for (size_t i = 0; i < names.size(); ++i) {
      char prefix[32];
      std::snprintf(prefix, sizeof prefix, "%-3s %2zu  ", direction, i);
      std::string line = prefix + names[i];
      if (static_cast<int32_t>(i) == preselected) line += "  *";
      lines.push_back(std::move(line));
    }
  };
  add("in", inputs);
  add("out", outputs);
  return lines;
}

}  // namespace tarn::cli
