// A library of the product: its exports record the text they are called with. The interface
// form answers with the text its control file gives ("answer=").
#include <windows.h>

#include <string>

#include "product/components/Journal.h"

namespace {

[[maybe_unused]] void Record(const wchar_t* export_name, const wchar_t* text) {
  component::Journal(L"dll", {export_name, text ? text : L"(null)"});
}

}  // namespace

extern "C" {

#if defined(COMPONENT_INTERFACE)
// Interface form: answer copied into the caller's buffer (cut to fit); the result is the
// answer's full length so that the caller can ask again with room for all of it.
__declspec(dllexport) INT32 WINAPI Uninst(const wchar_t* text, wchar_t* answer, UINT32 capacity) {
  std::wstring reply = component::Control(L"answer");
  component::Journal(L"dll", {L"Uninst", text ? text : L"(null)", std::to_wstring(capacity)});
  if (answer && capacity > 0) {
    size_t n = reply.size() < capacity - 1 ? reply.size() : capacity - 1;
    reply.copy(answer, n);
    answer[n] = L'\0';
  }
  return static_cast<INT32>(reply.size());
}
#else
__declspec(dllexport) void WINAPI Uninst(const wchar_t* text) { Record(L"Uninst", text); }
__declspec(dllexport) void WINAPI UninstallCleanup(const wchar_t* text) { Record(L"UninstallCleanup", text); }
__declspec(dllexport) void WINAPI DllUnregisterServer(const wchar_t* text) { Record(L"DllUnregisterServer", text); }
__declspec(dllexport) void WINAPI UnregisterDesktopHook(const wchar_t* text) { Record(L"UnregisterDesktopHook", text); }
#endif

#if defined(COMPONENT_GAME_CENTER)
__declspec(dllexport) void WINAPI Start4RunDll(const wchar_t* text) { Record(L"Start4RunDll", text); }
#endif

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) component::Journal(L"load", {});
  return TRUE;
}
