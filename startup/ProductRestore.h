#pragma once
// Restore mode: rebuilds the shortcuts, the uninstall registration and the autorun entry of the
// installation that the application key names, without uninstalling anything.
#include <windows.h>

#include <string>

enum class ProductEdition { Own, Partner };

class CProductRestore {
 public:
  // Reads the install directory ("path" of the application key); empty when it cannot be read.
  CProductRestore();
  explicit CProductRestore(std::wstring install_dir) : install_dir_(std::move(install_dir)) {}

  // Old shortcuts and menu folders out, the edition's shortcuts in, and, when every shortcut
  // was made, the uninstall registration.
  void RestoreRegistration();
  // config.set "open"=1 and the autorun entry for "rodozivo.exe".
  void EnableAutorun();

  static bool CreateShortcut(const wchar_t* target, const wchar_t* arguments, const wchar_t* link_path,
                             const wchar_t* icon_file, int icon_index, bool notify);

  // "lumetta" (any case) in "ProductName" is the own edition; anything else, or none, the partner's.
  static ProductEdition ReadEdition();
  // The file version of a program as "%d.%d.%d.%d", empty when it has none.
  static std::wstring FileVersionText(const std::wstring& path);

  const std::wstring& InstallDir() const { return install_dir_; }

 private:
  bool CreateEditionShortcuts(ProductEdition edition);
  bool WriteRegistration(ProductEdition edition);

  std::wstring install_dir_;
};

// Runs the restore mode for the installation the application key names.
void RunRestoreMode();

const wchar_t kPartnerHomePage[] = L"http://www.orbwp.cn/";
