#include "startup/InstanceMutex.h"

#include <gtest/gtest.h>

#include <string>

TEST(InstanceMutex, ASecondCreateOfTheSameNameFailsAndKeepsNoHandle) {
  std::wstring name = L"uninst_test_mutex_" + std::to_wstring(::GetCurrentProcessId());
  CInstanceMutex first, second;
  ASSERT_TRUE(first.Create(name.c_str()));
  EXPECT_EQ(first.HandleCount(), 1u);
  EXPECT_FALSE(second.Create(name.c_str()));
  EXPECT_EQ(second.HandleCount(), 0u);

  // Once every handle is closed the name is free again.
  first.CloseAll();
  EXPECT_EQ(first.HandleCount(), 0u);
  EXPECT_TRUE(second.Create(name.c_str()));
}
