#pragma once
// Reference-holding pointer for COM interfaces, and a scope that initialises COM for a thread.
#include <objbase.h>
#include <utility>

namespace win {

template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  // Takes over a reference the caller already holds.
  static ComPtr Attach(T* p) noexcept { ComPtr c; c.p_ = p; return c; }
  ComPtr(const ComPtr& o) noexcept : p_(o.p_) { if (p_) p_->AddRef(); }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept { std::swap(p_, o.p_); return *this; }
  ~ComPtr() { reset(); }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  T** put() noexcept { reset(); return &p_; }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
  void reset() noexcept { if (p_) { std::exchange(p_, nullptr)->Release(); } }
  T* detach() noexcept { return std::exchange(p_, nullptr); }

  template <class U>
  HRESULT As(const IID& iid, ComPtr<U>* out) const noexcept {
    return p_ ? p_->QueryInterface(iid, out->put_void()) : E_POINTER;
  }

 private:
  T* p_ = nullptr;
};

class ComInitScope {
 public:
  explicit ComInitScope(DWORD model = COINIT_APARTMENTTHREADED)
      : hr_(::CoInitializeEx(nullptr, model)) {}
  ComInitScope(const ComInitScope&) = delete;
  ComInitScope& operator=(const ComInitScope&) = delete;
  ~ComInitScope() { if (SUCCEEDED(hr_)) ::CoUninitialize(); }
  bool ok() const { return SUCCEEDED(hr_); }
 private:
  HRESULT hr_;
};

// A BSTR owned for one scope.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const wchar_t* s) : s_(::SysAllocString(s)) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { ::SysFreeString(s_); }
  BSTR get() const { return s_; }
  BSTR* put() { ::SysFreeString(s_); s_ = nullptr; return &s_; }
  const wchar_t* c_str() const { return s_ ? s_ : L""; }
 private:
  BSTR s_ = nullptr;
};

}  // namespace win
