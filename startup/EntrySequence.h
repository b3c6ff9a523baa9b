#pragma once
// The decisions of the entry sequence that need no window, registry or process: the copy's
// command line, the caller token check, the temporary cache directory name, report texts.
#include <functional>
#include <string>

namespace entry {

constexpr wchar_t kReadyUninstall[] = L"/READYUNINSTALL";
constexpr wchar_t kCallerTokenSwitch[] = L"/CHK";
// The word a silent first instance encrypts under the machine identifier.
constexpr wchar_t kCallerWord[] = L"stillen";

// The part of a process command line after the program name (quoted or not).
std::wstring ArgumentsOfCommandLine(const wchar_t* line);

// The copy's parameters: the original command line, two spaces, "/READYUNINSTALL"; in a silent
// run two more spaces and "/CHK=" with the token. Arguments are only appended, never moved.
std::wstring BuildCopyParameters(const std::wstring& command_line, bool silent, const std::wstring& token);

// decrypt(cipher, key) reverses the text cipher; empty when the cipher text is not valid.
using DecryptFunction = std::function<std::wstring(const std::wstring& cipher, const std::wstring& key)>;

// The caller check: passes for interactive runs and for first instances; a silent relaunched
// copy needs a non-empty token that decrypts under the key to the caller word, ignoring case.
bool IsLegalCallToken(bool silent, bool relaunched, const std::wstring& token, const std::wstring& key,
                      const DecryptFunction& decrypt);

// The first of up to 10 generated names under temp_dir that does not exist yet; empty when
// every attempt names something that exists. temp_dir ends with a backslash.
std::wstring ChooseTemporaryCacheDir(const std::wstring& temp_dir, const std::function<std::wstring()>& new_name,
                                     const std::function<bool(const std::wstring&)>& exists);

// File name of a path without its directory and its last extension ("C:\a\b.c.exe" -> "b.c").
std::wstring ProgramNameOfPath(const std::wstring& path);
// "&ex1=" program "&ex2=" version: the extra of the "uninstall_from" report.
std::wstring UninstallFromExtra(const std::wstring& program, const std::wstring& os_version);
// "major.minor"; empty when the version is not known.
std::wstring OsVersionText(bool known, unsigned long major, unsigned long minor);

// The box text for a failed pre-initialisation check and the extra of its report.
std::wstring PreInitFailureText(int code);
std::wstring PreInitFailureExtra(int code);

// The message texts of the entry.
extern const wchar_t kBrokenUninstallerText[];   // the installation cannot be uninstalled
extern const wchar_t kBroken7zText[];            // the archive library is damaged
extern const wchar_t kAlreadyRunningText[];      // another installer or uninstaller runs
extern const wchar_t kInitFailureKey[];          // the report's failure value name
extern const wchar_t kReinstallPage[];           // where a broken installation is downloaded again

}  // namespace entry
