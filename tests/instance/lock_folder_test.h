// A fixture for the lock files outside Windows: a fresh folder of its own, set as
// XDG_RUNTIME_DIR, so tests never meet a running updater's files or each other's; the
// variable is as it was afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "tests/support/environment.h"

namespace tarn::test {

class LockFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string folder = (std::filesystem::temp_directory_path() / "lock-folder-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    m_folder = folder;
    m_oldRuntime = Variable("XDG_RUNTIME_DIR");
    SetVariable("XDG_RUNTIME_DIR", m_folder);
  }
  void TearDown() override {
    SetVariable("XDG_RUNTIME_DIR", m_oldRuntime);
    std::filesystem::remove_all(m_folder);
  }
  // Makes a folder with exactly `mode`, whatever the umask takes away.
  static void MakeFolder(const std::string& path, mode_t mode) {
    ASSERT_EQ(mkdir(path.c_str(), mode), 0) << path;
    ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
  }
  // Makes an empty plain file in the test's folder.
  std::string PlainFile(const std::string& name) const {
    const std::string path = m_folder + "/" + name;
    std::fclose(std::fopen(path.c_str(), "w"));
    return path;
  }

  std::string m_folder;

 private:
  std::optional<std::string> m_oldRuntime;
};

}  // namespace tarn::test
