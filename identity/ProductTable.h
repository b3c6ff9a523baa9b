#pragma once
// Facts about the products of the family, keyed by product identifier, and the detection of
// which product's main program lies next to the running one.
#include <windows.h>

#include <map>
#include <string>

namespace identity {

const int kProductNone = 0;
const int kProductLumetta = 3;

// One ordered map per column; only the columns something reads are kept.
struct ProductTable {
  std::map<int, std::wstring> mainExecutable;
  std::map<int, std::wstring> productCode;
  std::map<int, std::wstring> pidKey;  // under HKLM, 32-bit view, value "PID"
};
const ProductTable& Products();

// The directory of module_path with the file name and then `levels` more levels removed.
std::wstring ProductDirectory(const std::wstring& module_path, int levels);
// The first identifier (ascending) whose main executable is a file in directory; for this
// product "dazovoze.exe" counts as well. 0 when none.
int DetectProductIn(const std::wstring& directory);

// The same, from the running program's own directory. 0 for a negative level count.
int DetectProduct(int levels);
std::wstring GetProductCode(int levels);
std::wstring GetProductPid(int levels);

// "PID" under root\key_path (an empty path reads root itself): a plain or expandable string
// of at most 520 bytes, empty or NUL-terminated; empty otherwise.
std::wstring ReadProductPidValue(HKEY root, const std::wstring& key_path, REGSAM view);

}  // namespace identity
