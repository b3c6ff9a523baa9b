#pragma once
// Owners for Win32 resources: one template, one small traits struct per kind of handle.
#include <windows.h>
#include <utility>

namespace win {

template <class Traits>
class Unique {
 public:
  using handle_type = typename Traits::type;
  Unique() noexcept : h_(Traits::invalid()) {}
  explicit Unique(handle_type h) noexcept : h_(h) {}
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  Unique(Unique&& o) noexcept : h_(o.release()) {}
  Unique& operator=(Unique&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~Unique() { reset(); }

  handle_type get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != Traits::invalid(); }
  handle_type release() noexcept { return std::exchange(h_, Traits::invalid()); }
  void reset(handle_type h = Traits::invalid()) noexcept {
    if (h_ != Traits::invalid()) Traits::close(h_);
    h_ = h;
  }
  // For APIs that return the handle through an out parameter.
  handle_type* put() noexcept { reset(); return &h_; }

 private:
  handle_type h_;
};

struct KernelHandleTraits {  // NULL means none (threads, processes, events, mutexes)
  using type = HANDLE;
  static type invalid() { return nullptr; }
  static void close(type h) { ::CloseHandle(h); }
};
struct FileHandleTraits {  // INVALID_HANDLE_VALUE means none (CreateFile, snapshots)
  using type = HANDLE;
  static type invalid() { return INVALID_HANDLE_VALUE; }
  static void close(type h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
  using type = HANDLE;
  static type invalid() { return INVALID_HANDLE_VALUE; }
  static void close(type h) { ::FindClose(h); }
};
struct RegKeyTraits {
  using type = HKEY;
  static type invalid() { return nullptr; }
  static void close(type h) { ::RegCloseKey(h); }
};
struct ModuleTraits {
  using type = HMODULE;
  static type invalid() { return nullptr; }
  static void close(type h) { ::FreeLibrary(h); }
};
struct GdiObjectTraits {
  using type = HGDIOBJ;
  static type invalid() { return nullptr; }
  static void close(type h) { ::DeleteObject(h); }
};
struct MemoryDcTraits {
  using type = HDC;
  static type invalid() { return nullptr; }
  static void close(type h) { ::DeleteDC(h); }
};
struct LocalMemTraits {
  using type = HLOCAL;
  static type invalid() { return nullptr; }
  static void close(type h) { ::LocalFree(h); }
};

struct ServiceHandleTraits {  // service control manager and service handles
  using type = SC_HANDLE;
  static type invalid() { return nullptr; }
  static void close(type h) { ::CloseServiceHandle(h); }
};

using UniqueHandle = Unique<KernelHandleTraits>;
using UniqueFile = Unique<FileHandleTraits>;
using UniqueFind = Unique<FindHandleTraits>;
using UniqueKey = Unique<RegKeyTraits>;
using UniqueModule = Unique<ModuleTraits>;
using UniqueGdiObject = Unique<GdiObjectTraits>;
using UniqueMemoryDc = Unique<MemoryDcTraits>;
using UniqueLocal = Unique<LocalMemTraits>;
using UniqueService = Unique<ServiceHandleTraits>;

// A window DC taken with GetDC, given back with ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND wnd) : wnd_(wnd), dc_(::GetDC(wnd)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() { if (dc_) ::ReleaseDC(wnd_, dc_); }
  HDC get() const { return dc_; }
 private:
  HWND wnd_;
  HDC dc_;
};

// Selects an object into a DC for one scope.
class SelectObjectScope {
 public:
  SelectObjectScope(HDC dc, HGDIOBJ obj) : dc_(dc), old_(::SelectObject(dc, obj)) {}
  SelectObjectScope(const SelectObjectScope&) = delete;
  SelectObjectScope& operator=(const SelectObjectScope&) = delete;
  ~SelectObjectScope() { if (old_) ::SelectObject(dc_, old_); }
 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace win
