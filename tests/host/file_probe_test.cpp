// The existence test against the real file system.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "host/file_probe.h"

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
