// The records are copied whole across the interface: their layout is part of the contract.
#include <gtest/gtest.h>

#include <cstddef>

#include "config/ISetupConfig.h"

static_assert(sizeof(CloseProgramRecord) == 200 * sizeof(wchar_t) + 4 * 4, "close-program record");
static_assert(offsetof(CloseProgramRecord, message) == 400, "message follows the class name");
static_assert(sizeof(ProgramRecord) == 6 * MAX_PATH * sizeof(wchar_t) + 2 * 4, "program record");
static_assert(offsetof(ProgramRecord, waitTime) == 6 * MAX_PATH * sizeof(wchar_t), "texts first");
static_assert(sizeof(UnregisterRecord) == 3 * MAX_PATH * sizeof(wchar_t) + 4, "unregister record");
static_assert(sizeof(RootDirItemRecord) == MAX_PATH * sizeof(wchar_t) + 2 * 4, "root-dir item");

TEST(RecordLayout, TextsAreFixedArraysOfMaxPath) {
  ProgramRecord record{};
  EXPECT_EQ(sizeof(record.fileName) / sizeof(wchar_t), static_cast<size_t>(MAX_PATH));
  RootDirItemRecord item{};
  EXPECT_EQ(sizeof(item.name) / sizeof(wchar_t), static_cast<size_t>(MAX_PATH));
}
