// Windows Installer bound at run time: msi.dll is loaded once, from the system
// directory only, and every function is found by its ordinal. A setup program
// runs from Downloads folders, where a planted msi.dll must never be the one
// loaded; and the ordinals are what msi.dll has exported since its first
// versions, so no name lookup can pick a different function.
#include "platform/win32/windows_includes.h"

#include <string>

#include "platform/platform.h"
#include "platform/result_codes.h"
#include "platform/win32/win32_shared.h"

namespace {

// The ordinals of msi.dll that the system uses.
constexpr WORD kMsiCloseHandle = 8;
constexpr WORD kMsiDatabaseOpenViewW = 32;
constexpr WORD kMsiGetProductInfoW = 70;
constexpr WORD kMsiOpenDatabaseW = 92;
constexpr WORD kMsiQueryFeatureStateW = 111;
constexpr WORD kMsiQueryProductStateW = 113;
constexpr WORD kMsiRecordGetStringW = 118;
constexpr WORD kMsiSetInternalUI = 141;
constexpr WORD kMsiViewClose = 158;
constexpr WORD kMsiViewExecute = 159;
constexpr WORD kMsiViewFetch = 160;
constexpr WORD kMsiEnumRelatedProductsW = 205;
constexpr WORD kMsiSourceListClearAllW = 209;
constexpr WORD kMsiSourceListSetInfoW = 268;

constexpr int kInstallStateUnknown = -1;

using MsiCloseHandleFn = UINT(WINAPI*)(DWORD);
using MsiDatabaseOpenViewWFn = UINT(WINAPI*)(DWORD, LPCWSTR, DWORD*);
using MsiGetProductInfoWFn = UINT(WINAPI*)(LPCWSTR, LPCWSTR, LPWSTR, DWORD*);
using MsiOpenDatabaseWFn = UINT(WINAPI*)(LPCWSTR, LPCWSTR, DWORD*);
using MsiRecordGetStringWFn = UINT(WINAPI*)(DWORD, UINT, LPWSTR, DWORD*);
using MsiViewCloseFn = UINT(WINAPI*)(DWORD);
using MsiViewExecuteFn = UINT(WINAPI*)(DWORD, DWORD);
using MsiViewFetchFn = UINT(WINAPI*)(DWORD, DWORD*);
using MsiQueryFeatureStateWFn = int(WINAPI*)(LPCWSTR, LPCWSTR);
using MsiQueryProductStateWFn = int(WINAPI*)(LPCWSTR);
using MsiSetInternalUIFn = int(WINAPI*)(int, HWND*);
using MsiEnumRelatedProductsWFn = UINT(WINAPI*)(LPCWSTR, DWORD, DWORD, LPWSTR);
using MsiSourceListClearAllWFn = UINT(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
using MsiSourceListSetInfoWFn = UINT(WINAPI*)(LPCWSTR, LPCWSTR, int, DWORD, LPCWSTR, LPCWSTR);

// Loaded on first use and kept for the life of the process; a load that
// failed is not tried again, and its error answers every later call.
const SystemLibrary& Library() {
  static const SystemLibrary library = LoadSystemLibrary(L"msi.dll");
  return library;
}

// The function at `ordinal`, or null with the loader's error code in *error.
template <typename Fn>
Fn Bind(WORD ordinal, std::uint32_t* error) {
  return BindFunction<Fn>(Library(), MAKEINTRESOURCEA(ordinal), error);
}

// Calls the function at `ordinal` with args; without it, the loader's code.
template <typename Fn, typename... Args>
std::uint32_t Call(WORD ordinal, Args... args) {
  std::uint32_t error = 0;
  const Fn function = Bind<Fn>(ordinal, &error);
  return function != nullptr ? static_cast<std::uint32_t>(function(args...)) : error;
}

const wchar_t* W(const WString& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
wchar_t* W(char16_t* buffer) { return reinterpret_cast<wchar_t*>(buffer); }

}  // namespace

void CloseMsiHandle(platform::RawHandle handle) {
  std::uint32_t error = 0;
  if (const auto close = Bind<MsiCloseHandleFn>(kMsiCloseHandle, &error))
    close(static_cast<DWORD>(handle));
}

namespace platform {

std::uint32_t MsiSetInternalUI(std::uint32_t level) {
  return Call<MsiSetInternalUIFn>(kMsiSetInternalUI, static_cast<int>(level), nullptr);
}

std::uint32_t MsiOpenDatabase(const WString& path, MsiHandle& database) {
  std::uint32_t error = 0;
  const auto open = Bind<MsiOpenDatabaseWFn>(kMsiOpenDatabaseW, &error);
  if (!open) return error;
  DWORD handle = 0;
  // The persist mode MSIDBOPEN_READONLY is the null pointer: the package is
  // read, never written.
  const UINT result = open(W(path), nullptr, &handle);
  // Only a successful call hands over a handle to be closed.
  if (result == ERROR_SUCCESS) database.reset(handle);
  return result;
}

std::uint32_t MsiDatabaseOpenView(RawHandle database, const WString& query, MsiHandle& view) {
  std::uint32_t error = 0;
  const auto open = Bind<MsiDatabaseOpenViewWFn>(kMsiDatabaseOpenViewW, &error);
  if (!open) return error;
  DWORD handle = 0;
  const UINT result = open(static_cast<DWORD>(database), W(query), &handle);
  if (result == ERROR_SUCCESS) view.reset(handle);
  return result;
}

std::uint32_t MsiViewExecute(RawHandle view) {
  return Call<MsiViewExecuteFn>(kMsiViewExecute, static_cast<DWORD>(view), DWORD(0));
}

std::uint32_t MsiViewFetch(RawHandle view, MsiHandle& record) {
  std::uint32_t error = 0;
  const auto fetch = Bind<MsiViewFetchFn>(kMsiViewFetch, &error);
  if (!fetch) return error;
  DWORD handle = 0;
  const UINT result = fetch(static_cast<DWORD>(view), &handle);
  if (result == ERROR_SUCCESS) record.reset(handle);
  return result;
}

std::uint32_t MsiViewClose(RawHandle view) {
  return Call<MsiViewCloseFn>(kMsiViewClose, static_cast<DWORD>(view));
}

std::uint32_t MsiRecordGetString(RawHandle record, std::uint32_t field, char16_t* buffer,
                                 std::uint32_t& length) {
  std::uint32_t error = 0;
  const auto get = Bind<MsiRecordGetStringWFn>(kMsiRecordGetStringW, &error);
  if (!get) return error;
  DWORD size = length;
  const UINT result = get(static_cast<DWORD>(record), field, W(buffer), &size);
  length = size;
  return result;
}

std::uint32_t MsiGetProductInfo(const WString& product, const WString& attribute,
                                char16_t* buffer, std::uint32_t& length) {
  std::uint32_t error = 0;
  const auto get = Bind<MsiGetProductInfoWFn>(kMsiGetProductInfoW, &error);
  if (!get) return error;
  DWORD size = length;
  const UINT result = get(W(product), W(attribute), W(buffer), &size);
  length = size;
  return result;
}

std::uint32_t MsiEnumRelatedProducts(const WString& upgradeCode, std::uint32_t index,
                                     char16_t* productBuffer) {
  return Call<MsiEnumRelatedProductsWFn>(kMsiEnumRelatedProductsW, W(upgradeCode), DWORD(0),
                                         DWORD(index), W(productBuffer));
}

int MsiQueryProductState(const WString& product) {
  std::uint32_t error = 0;
  const auto query = Bind<MsiQueryProductStateWFn>(kMsiQueryProductStateW, &error);
  if (!query) return kInstallStateUnknown;
  return query(W(product));
}

int MsiQueryFeatureState(const WString& product, const WString& feature) {
  std::uint32_t error = 0;
  const auto query = Bind<MsiQueryFeatureStateWFn>(kMsiQueryFeatureStateW, &error);
  if (!query) return kInstallStateUnknown;
  return query(W(product), W(feature));
}

std::uint32_t MsiSourceListClearAll(const WString& product) {
  return Call<MsiSourceListClearAllWFn>(kMsiSourceListClearAllW, W(product), LPCWSTR(nullptr),
                                        DWORD(0));
}

std::uint32_t MsiSourceListSetInfo(const WString& product, std::uint32_t context,
                                   std::uint32_t options, const WString& property,
                                   const WString& value) {
  return Call<MsiSourceListSetInfoWFn>(kMsiSourceListSetInfoW, W(product), LPCWSTR(nullptr),
                                       static_cast<int>(context), DWORD(options), W(property),
                                       W(value));
}

}  // namespace platform
