// The existence test against the real file system.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "host/file_probe.h"
#include "host/notify.h"

TEST(FileProbe, WhatCountsAsPresent) {
  const std::string dir = ::testing::TempDir();
  const std::string file = dir + "mergebridge_probe.txt";
  std::FILE* f = std::fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_FALSE(IsFileMissing(file));
  EXPECT_FALSE(IsFileMissing(dir));  // a directory counts
  std::remove(file.c_str());
  EXPECT_TRUE(IsFileMissing(file));
  EXPECT_TRUE(IsFileMissing(""));
  EXPECT_TRUE(IsFileMissing(dir + "no/such/dir/file"));
}

#ifndef _WIN32
// Without a desktop the traces land on stderr, where they can be read back.
TEST(FileProbe, Traces) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  traceEnabled = true;
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(IsFileMissing("/no/such/file"));
  EXPECT_FALSE(IsFileMissing("/"));
  traceEnabled = false;
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "about to check existance of file '/no/such/file'\n"
            "File '/no/such/file' does not exist\n"
            "about to check existance of file '/'\n");
}
#endif
