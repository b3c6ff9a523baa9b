#include <gtest/gtest.h>

#include "ConfigTestUtil.h"
#include "config/XMLArchive.h"

using config_test::Doc;

TEST(XmlIntText, Forms) {
  struct Case { const wchar_t* text; int value; } cases[] = {
      {L"0x9C4B", 40011}, {L" 40011", 40011}, {L"\t 12", 12}, {L"0x", 0}, {L"0X1f", 31},
      {L"0x12345678", 0x12345678}, {L"0x123456789", 0},  // eleven characters: read as decimal
      {L"", 0}, {L"   ", 0}, {L"-5", -5}, {L"+7", 7}, {L"12abc", 12}, {L"0x1G", 1}, {L"0xZZ", 0},
      {L"abc", 0}, {L"0xFFFFFFFF", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseXmlIntText(c.text), c.value) << "text '" << testing::PrintToString(std::wstring(c.text)) << "'";
}

class XmlArchiveTest : public testing::Test {
 protected:
  void SetUp() override { dir_ = test_support::MakeScratchDir(L"xml"); }
  std::wstring Write(const std::wstring& name, const std::wstring& text) {
    std::wstring path = dir_ + L"\\" + name;
    EXPECT_TRUE(config_test::WriteUtf16(path, text));
    return path;
  }
  config_test::ComScope com_;
  std::wstring dir_;
};

TEST_F(XmlArchiveTest, PathRules) {
  std::wstring path;
  path = Write(L"b.xml", Doc(
      L"<Root><Setup><Main V=\"1\"/><Group><Main V=\"2\"/></Group>"
      L"<List><Program N=\"a\"/><Program N=\"b\"/></List><List><Program N=\"c\"/></List></Setup>"
      L"<Setup><Main V=\"3\"/></Setup></Root>"));
  CXMLArchive archive;
  ASSERT_GE(archive.Open(path.c_str(), 0), 0);
  struct Case { const wchar_t* path; int count; } cases[] = {
      {L"Setup/Main", 2},            // nested ones too, only below the first Setup
      {L"Setup/Main/", 2},           // a trailing separator ends the path
      {L"Setup\\Main", 2},
      {L"Setup", 0},                 // a single name selects nothing
      {L"Setup/List/Program", 2},    // only the first List is followed
      {L"Setup//List", 0},           // an empty name ends the path after "Setup"
      {L"Setup/Missing/Program", 0},
      {L"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(archive.GetItemList(c.path).GetCount(), c.count) << testing::PrintToString(std::wstring(c.path));
  std::wstring value;
  EXPECT_TRUE(archive.GetFirstItem(L"Setup/Main").GetStringAttribute(L"V", value, nullptr));
  EXPECT_EQ(value, L"1");
  EXPECT_FALSE(archive.GetItemList(std::wstring(2049, L'a').c_str()).GetCount());
}

TEST_F(XmlArchiveTest, AttributesAndDefaults) {
  std::wstring path = Write(L"c.xml", Doc(L"<Setup><Main Hex=\"0x9C4B\" Dec=\" 40011\" Text=\"abc\"/></Setup>"));
  CXMLArchive archive;
  ASSERT_GE(archive.Open(path.c_str(), 0), 0);
  CXMLArchiveItem main = archive.GetFirstItem(L"Setup/Main");
  ASSERT_TRUE(main.IsValid());
  int n = 1;
  EXPECT_TRUE(main.GetIntAttribute(L"Hex", n, 5));
  EXPECT_EQ(n, 40011);
  EXPECT_TRUE(main.GetIntAttribute(L"Dec", n, 5));
  EXPECT_EQ(n, 40011);
  EXPECT_FALSE(main.GetIntAttribute(L"Missing", n, 77));
  EXPECT_EQ(n, 77);
  n = 3;
  EXPECT_FALSE(main.GetIntAttribute(L"", n, 77));  // empty name: untouched
  EXPECT_EQ(n, 3);
  std::wstring text = L"x";
  EXPECT_FALSE(main.GetStringAttribute(L"Missing", text, L"dflt"));
  EXPECT_EQ(text, L"dflt");
  EXPECT_FALSE(main.GetStringAttribute(L"Missing", text, nullptr));
  EXPECT_EQ(text, L"");
  EXPECT_TRUE(main.GetStringAttribute(L"Text", text, L"dflt"));
  EXPECT_EQ(text, L"abc");
  CXMLArchiveItem invalid;
  text = L"keep";
  EXPECT_FALSE(invalid.GetStringAttribute(L"Text", text, L"dflt"));
  EXPECT_EQ(text, L"keep");
}

TEST_F(XmlArchiveTest, BadDocumentsLeaveNoDocument) {
  struct Case { const wchar_t* name; const wchar_t* text; } cases[] = {
      {L"open.xml", L"<Setup><Main>"},
      {L"two.xml", L"<a/><b/>"},
      {L"junk.xml", L"not xml at all"},
  };
  for (const Case& c : cases) {
    CXMLArchive archive;
    EXPECT_LT(archive.Open(Write(c.name, Doc(c.text)).c_str(), 0), 0) << testing::PrintToString(std::wstring(c.name));
    EXPECT_FALSE(archive.IsOpen());
    EXPECT_EQ(archive.GetItemList(L"Setup/Main").GetCount(), 0);
  }
  CXMLArchive missing;
  EXPECT_EQ(missing.Open((dir_ + L"\\none.xml").c_str(), 0), E_FAIL);
  EXPECT_FALSE(missing.IsOpen());
}
