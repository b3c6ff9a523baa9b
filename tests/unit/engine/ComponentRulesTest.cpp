// The texts and limits that the component calls and the directory test are built from.
#include <gtest/gtest.h>

#include "engine/ComponentCalls.h"
#include "engine/ProcessControl.h"

using namespace component_rules;

TEST(ComponentRules, ConfiguredProgramWaitIsCappedAt50Seconds) {
  struct Case { INT32 wait; DWORD expected; } cases[] = {
      {0, 50000}, {5000, 5000}, {50000, 50000}, {50001, 50000}, {90000, 50000}, {-1, 50000}, {1, 1}};
  for (const auto& c : cases) EXPECT_EQ(ProgramTimeout(c.wait), c.expected) << c.wait;
}

TEST(ComponentRules, OemMarkerStartingWithTwoSelectsTheOemPid) {
  struct Case { const wchar_t* marker; const wchar_t* expected; } cases[] = {
      {L"2", L"/Pid=tarvo_oem"}, {L"21", L"/Pid=tarvo_oem"}, {L"2abc", L"/Pid=tarvo_oem"},
      {L"1", L"/Pid=tarvo"},     {L"", L"/Pid=tarvo"},        {L"12", L"/Pid=tarvo"}, {L" 2", L"/Pid=tarvo"}};
  for (const auto& c : cases) EXPECT_EQ(GuardPidPart(c.marker), c.expected) << c.marker;
}

TEST(ComponentRules, GuardCommandLineQuotesTheGuardTwice) {
  EXPECT_EQ(GuardCommandLine(L"C:\\P F\\Utils\\daverud.exe", L"21"),
            L"\"C:\\P F\\Utils\\daverud.exe\" /UnInstallDesk /LockHomePagePath=\"C:\\P F\\Utils\\daverud.exe\" "
            L"/Pid=tarvo_oem");
}

TEST(ComponentRules, GameCenterParametersFollowTheFlag) {
  EXPECT_EQ(GameCenterParameters(true), L"/S /PID=tarvo /UNINSTALL");
  EXPECT_EQ(GameCenterParameters(false), L"/S /PID=tarvo /NOUNINSTALL");
}

TEST(ComponentRules, RundllAndRunListCommands) {
  EXPECT_EQ(RundllCommand(L"C:\\L\\a b.dll", L"DllUnregisterServer", L"/all"),
            L"--dll=\"C:\\L\\a b.dll\" --entry=DllUnregisterServer /all");
  EXPECT_EQ(RunListExeCommand(L"/u", L"tarvo", L"1234"), L"/u --PRODUCT=tarvo --PID=1234");
  EXPECT_EQ(RunListExeCommand(L"", L"", L""), L" --PRODUCT= --PID=");
  EXPECT_TRUE(RunListNeedsSignature(L"/uninstall"));
  EXPECT_FALSE(RunListNeedsSignature(L"/uninstall /Regtest"));
  EXPECT_TRUE(RunListNeedsSignature(L"/regtest"));  // the marker is compared as written
}

TEST(ComponentRules, ExtensionsAndJoins) {
  EXPECT_EQ(ExtensionOf(L"C:\\a.b\\plug.TPI"), L".TPI");
  EXPECT_EQ(ExtensionOf(L"C:\\a.b\\noext"), L"");
  EXPECT_EQ(JoinPath(L"C:\\L", L"Utils\\x.exe"), L"C:\\L\\Utils\\x.exe");
  EXPECT_EQ(JoinPath(L"C:\\L\\", L"x.exe"), L"C:\\L\\x.exe");
}

TEST(ProcessRules, ImageMustLieInsideTheDirectoryNotBesideIt) {
  struct Case { const wchar_t* image; const wchar_t* dir; bool inside; } cases[] = {
      {L"C:\\PF\\LUMETTA\\VANTEL.EXE", L"C:\\PF\\LUMETTA", true},
      {L"C:\\PF\\LUMETTA\\UTILS\\X.EXE", L"C:\\PF\\LUMETTA", true},
      {L"C:\\PF\\LUMETTA2\\VANTEL.EXE", L"C:\\PF\\LUMETTA", false},
      {L"C:\\PF\\LUMETTA.EXE", L"C:\\PF\\LUMETTA", false},
      {L"C:\\PF\\LUMETTA\\X.EXE", L"C:\\PF\\LUMETTA\\", true},
      {L"C:\\PF\\LUMETTA", L"C:\\PF\\LUMETTA", false},
      {L"C:\\PF\\OTHER\\X.EXE", L"C:\\PF\\LUMETTA", false},
  };
  for (const auto& c : cases) EXPECT_EQ(process_rules::IsInside(c.image, c.dir), c.inside) << c.image;
}

TEST(ProcessRules, SpareProgramIsJoinedWithASeparator) {
  EXPECT_TRUE(process_rules::IsSpared(L"C:\\PF\\Lumetta\\zavado\\ZAVADO.exe", L"C:\\PF\\Lumetta"));
  EXPECT_TRUE(process_rules::IsSpared(L"C:\\PF\\Lumetta\\ZavAdo\\ZavAdo.exe", L"C:\\PF\\Lumetta\\"));
  EXPECT_FALSE(process_rules::IsSpared(L"C:\\PF\\LumettaZavAdo\\ZavAdo.exe", L"C:\\PF\\Lumetta"));
  EXPECT_FALSE(process_rules::IsSpared(L"C:\\PF\\Lumetta\\Utils\\ZavAdo\\ZavAdo.exe", L"C:\\PF\\Lumetta"));
}
