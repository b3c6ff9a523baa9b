#include <gtest/gtest.h>

#include "ConfigTestUtil.h"
#include "config/UninstallRootDirList.h"

using config_test::Doc;

class RootDirListTest : public testing::Test {
 protected:
  void SetUp() override { dir_ = test_support::MakeScratchDir(L"rootdir"); }
  std::wstring Write(const std::wstring& text) {
    std::wstring path = dir_ + L"\\list.xml";
    EXPECT_TRUE(config_test::WriteUtf16(path, Doc(text)));
    return path;
  }
  config_test::ComScope com_;
  std::wstring dir_;
};

TEST_F(RootDirListTest, SetRules) {
  CUninstallRootDirList list;
  ASSERT_TRUE(list.LoadFromFile(Write(
      L"<RootDirFiles><Dir><Item Name=\"Config\"/><Group><Item Name=\"Deep\" optional=\"0x2\"/></Group></Dir>"
      L"<Dir><Item Name=\"SecondDir\"/></Dir>"
      L"<File><Item Name=\"Uninstall.exe\"/><Item optional=\"1\"/><Item Name=\"config\" optional=\"5\"/></File>"
      L"</RootDirFiles>").c_str()));
  struct Case { const wchar_t* name; bool listed; } cases[] = {
      {L"uninstall.EXE", true}, {L"UNINSTALL.exe", true}, {L"Deep", true}, {L"", true},
      {L"SecondDir", false}, {L"Uninstall", false}, {L"CONFIG", true},
  };
  for (const Case& c : cases) EXPECT_EQ(list.Contains(c.name), c.listed) << testing::PrintToString(std::wstring(c.name));
  EXPECT_FALSE(list.Contains(nullptr));
  EXPECT_EQ(list.GetCount(), 4);  // CONFIG listed twice counts once

  // Key order: "", "CONFIG", "DEEP", "UNINSTALL.EXE"; the last listing wins.
  RootDirItemRecord item{};
  ASSERT_TRUE(list.GetItem(1, &item));
  EXPECT_STREQ(item.name, L"config");
  EXPECT_EQ(item.isDirectory, 0);
  EXPECT_EQ(item.optional, 5);
  ASSERT_TRUE(list.GetItem(0, &item));
  EXPECT_STREQ(item.name, L"");
  EXPECT_EQ(item.optional, 1);
  ASSERT_TRUE(list.GetItem(2, &item));
  EXPECT_EQ(item.isDirectory, 1);
  EXPECT_EQ(item.optional, 2);
  EXPECT_FALSE(list.GetItem(list.GetCount(), &item));
  EXPECT_FALSE(list.GetItem(-1, &item));
  EXPECT_FALSE(list.GetItem(0, nullptr));

  EXPECT_TRUE(list.Remove(L"Config"));
  EXPECT_FALSE(list.Contains(L"CONFIG"));
  EXPECT_EQ(list.GetCount(), 3);
  EXPECT_TRUE(list.Remove(L"never listed"));
  EXPECT_FALSE(list.Remove(nullptr));
}

TEST_F(RootDirListTest, LongNameIsCutInTheRecord) {
  std::wstring name(300, L'n');
  CUninstallRootDirList list;
  ASSERT_TRUE(list.LoadFromFile(Write(L"<RootDirFiles><File><Item Name=\"" + name + L"\"/></File></RootDirFiles>").c_str()));
  RootDirItemRecord item{};
  ASSERT_TRUE(list.GetItem(0, &item));
  EXPECT_EQ(std::wstring(item.name), name.substr(0, MAX_PATH - 1));
}

TEST_F(RootDirListTest, FailedLoadKeepsContent) {
  CUninstallRootDirList list;
  ASSERT_TRUE(list.LoadFromFile(Write(L"<RootDirFiles><File><Item Name=\"a\"/></File></RootDirFiles>").c_str()));
  EXPECT_FALSE(list.LoadFromFile(Write(L"<RootDirFiles><File>").c_str()));
  EXPECT_FALSE(list.LoadFromFile(nullptr));
  EXPECT_TRUE(list.Contains(L"A"));
  ASSERT_TRUE(list.LoadFromFile(Write(L"<RootDirFiles/>").c_str()));
  EXPECT_EQ(list.GetCount(), 0);
}
