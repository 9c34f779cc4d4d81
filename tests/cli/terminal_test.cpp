// A stream silenced after its terminal hung up takes writes without error and passes none on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "cli/terminal.h"

namespace tarn::cli {
namespace {

TEST(Terminal, SilencedStreamWritesNowhere) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  fcntl(ends[0], F_SETFL, O_NONBLOCK);
  std::FILE* stream = fdopen(ends[1], "w");
  ASSERT_NE(stream, nullptr);
  char seen[16] = {};

  std::fputs("before", stream);
  std::fflush(stream);
  ASSERT_EQ(read(ends[0], seen, sizeof seen), 6);

  SilenceStream(stream);
  EXPECT_GT(std::fputs("after", stream), 0);
  EXPECT_EQ(std::fflush(stream), 0);
  // Nothing arrived, and the pipe's only write end was replaced, not kept open.
  EXPECT_EQ(read(ends[0], seen, sizeof seen), 0);
  std::fclose(stream);
  close(ends[0]);
}

}  // namespace
}  // namespace tarn::cli
