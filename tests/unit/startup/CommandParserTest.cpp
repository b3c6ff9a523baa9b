#include "startup/CommandParser.h"

#include <gtest/gtest.h>

namespace {

struct SwitchCase {
  const wchar_t* command_line;
  const wchar_t* query;
  bool present;
  const wchar_t* value;  // expected value when present
};

class CommandParserCases : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(CommandParserCases, AnswersSwitchQueries) {
  const SwitchCase& c = GetParam();
  CCommandParser parser;
  ASSERT_TRUE(parser.Parse(c.command_line));
  EXPECT_EQ(parser.HasSwitch(c.query), c.present) << c.command_line;
  std::wstring value = L"untouched";
  EXPECT_EQ(parser.GetSwitchValue(c.query, value), c.present);
  EXPECT_EQ(value, c.present ? std::wstring(c.value) : std::wstring(L"untouched"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandParserCases,
    ::testing::Values(
        SwitchCase{L"/chk=ABC", L"/CHK", true, L"ABC"},               // names ignore case, values keep it
        SwitchCase{L"/CHK=abc", L"/chk", true, L"abc"},
        SwitchCase{L"\"/CHK= abc \"", L"/CHK", true, L"abc"},          // white space trimmed around the value
        SwitchCase{L"\"/CHK=\"\"\"", L"/CHK", true, L""},                 // a lone quote becomes empty
        SwitchCase{L"/K=1", L"/K", true, L"1"},
        SwitchCase{L"/CHK=a /CHK=b", L"/CHK", true, L"b"},              // a later argument wins
        SwitchCase{L"/SILENT", L"/S", false, L""},                      // no prefix matching
        SwitchCase{L"/S", L"/SILENT", false, L""},
        SwitchCase{L"=x", L"", true, L"x"},                             // the empty name
        SwitchCase{L"/READYUNINSTALL  /S", L"/READYUNINSTALL", true, L""},
        SwitchCase{L"/a=b=c", L"/A", true, L"b=c"}));                   // first "=" splits

TEST(CommandParser, SilentSwitches) {
  struct { const wchar_t* line; bool silent; } cases[] = {
      {L"/s", true}, {L"/S", true}, {L"/z", true}, {L"/Z /K", true},
      {L"-S", false}, {L"/SS", false}, {L"/K", false}, {L"S", false}};
  for (const auto& c : cases) {
    CCommandParser parser;
    ASSERT_TRUE(parser.Parse(c.line));
    EXPECT_EQ(parser.IsSilent(), c.silent) << c.line;
  }
}

TEST(CommandParser, EmptyLineHoldsOnlyTheProgramPath) {
  CCommandParser parser;
  ASSERT_TRUE(parser.Parse(L""));
  ASSERT_EQ(parser.Switches().size(), 1u);
  wchar_t path[MAX_PATH];
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring upper = path;
  for (auto& ch : upper) ch = static_cast<wchar_t>(towupper(ch));
  EXPECT_EQ(parser.Switches().begin()->first, upper);
  EXPECT_FALSE(parser.IsSilent());
  EXPECT_FALSE(parser.HasSwitch(L"/READYUNINSTALL"));
}

TEST(CommandParser, ParseReplacesEarlierMap) {
  CCommandParser parser;
  ASSERT_TRUE(parser.Parse(L"/S /CHK=1"));
  ASSERT_TRUE(parser.Parse(L"/K"));
  EXPECT_FALSE(parser.IsSilent());
  EXPECT_FALSE(parser.HasSwitch(L"/CHK"));
  EXPECT_TRUE(parser.HasSwitch(L"/k"));
  EXPECT_EQ(parser.Text(), L"/K");
}

TEST(CommandParser, SingletonIsShared) {
  EXPECT_EQ(CCommandParser::Instance(), CCommandParser::Instance());
  EXPECT_NE(CCommandParser::Instance(), nullptr);
}

}  // namespace
