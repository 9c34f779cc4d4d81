// Writes the string table as a resource script: string_table_rc FILE. The texts come from
// resources/string_table.cpp, so the Windows program carries the same table.
#include <cstdio>
#include <string>

#include "resources/string_table.h"

namespace {

// A resource script's string literal: quotes doubled, backslashes and line breaks escaped.
std::string Quoted(const char* text) {
  std::string quoted = "\"";
  for (const char* c = text; *c != '\0'; ++c) {
    switch (*c) {
      case '"':
        quoted += "\"\"";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      case '\n':
        quoted += "\\n";
        break;
      default:
        quoted += *c;
    }
  }
  return quoted + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  std::FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  std::fprintf(out, "/* Generated from resources/string_table.cpp. */\n");
  std::fprintf(out, "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n\nSTRINGTABLE\nBEGIN\n");
  for (const tarn::StringEntry& entry : tarn::StringTable())
    std::fprintf(out, "  %d, %s\n", static_cast<int>(entry.id), Quoted(entry.text).c_str());
  std::fprintf(out, "END\n");
  return std::fclose(out) == 0 ? 0 : 1;
}
