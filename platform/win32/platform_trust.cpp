// Authenticode verification through wintrust.dll and crypt32.dll, both bound
// at run time from the system directory: the import table stays as it is, and
// a Windows without them (or without a function) answers with the loader's
// code, which the run reads as "cannot be verified here".
#include "platform/win32/windows_includes.h"

#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>

#include "platform/platform.h"
#include "platform/win32/win32_shared.h"

namespace {

using WinVerifyTrustFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
using ProvDataFromStateDataFn = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
using ProvSignerFromChainFn = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD);
using CertGetNameStringWFn = DWORD(WINAPI*)(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR, DWORD);

const SystemLibrary& Wintrust() {
  static const SystemLibrary library = LoadSystemLibrary(L"wintrust.dll");
  return library;
}

const SystemLibrary& Crypt32() {
  static const SystemLibrary library = LoadSystemLibrary(L"crypt32.dll");
  return library;
}

// The certificate's simple display name; empty when crypt32 cannot give it
// (the name is for the run log only: the decision rests on the subject).
WString DisplayName(PCCERT_CONTEXT certificate) {
  std::uint32_t error = 0;
  const auto getName = BindFunction<CertGetNameStringWFn>(Crypt32(), "CertGetNameStringW", &error);
  if (getName == nullptr) return WString();
  wchar_t name[256];
  const DWORD length =
      getName(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, sizeof(name) / sizeof(name[0]));
  if (length <= 1) return WString();
  return WString(reinterpret_cast<const char16_t*>(name), length - 1);
}

}  // namespace

namespace platform {

std::uint32_t VerifyFileSignature(const WString& path, RawHandle file, FileSignature& signature) {
  std::uint32_t error = 0;
  const auto verify = BindFunction<WinVerifyTrustFn>(Wintrust(), "WinVerifyTrust", &error);
  const auto providerData =
      BindFunction<ProvDataFromStateDataFn>(Wintrust(), "WTHelperProvDataFromStateData", &error);
  const auto providerSigner =
      BindFunction<ProvSignerFromChainFn>(Wintrust(), "WTHelperGetProvSignerFromChain", &error);
  if (verify == nullptr || providerData == nullptr || providerSigner == nullptr) return error;

  WINTRUST_FILE_INFO fileInfo{};
  fileInfo.cbStruct = sizeof(fileInfo);
  fileInfo.pcwszFilePath = reinterpret_cast<const wchar_t*>(path.c_str());
  fileInfo.hFile = reinterpret_cast<HANDLE>(file);
  WINTRUST_DATA data{};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &fileInfo;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  // "To ensure the WinVerifyTrust function does not attempt any network
  // retrieval when verifying code signatures, WTD_CACHE_ONLY_URL_RETRIEVAL
  // must be set" (WINTRUST_DATA): with it Windows neither fetches revocation
  // lists nor a root it does not hold yet. Windows XP does not support the
  // flag.
  data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  // INVALID_HANDLE_VALUE: there is no interactive user to ask.
  const HWND noUser = reinterpret_cast<HWND>(INVALID_HANDLE_VALUE);
  const LONG result = verify(noUser, &action, &data);
  signature = FileSignature();
  signature.objectStep = static_cast<std::uint32_t>(result);
  signature.signerStep = static_cast<std::uint32_t>(result);
  // The trust provider runs its steps in turn and records each one's error
  // at the step's index (wintrust.h: TRUSTERROR_STEP_FINAL_OBJPROV for the
  // object provider, "the function that builds information for the signer
  // data", TRUSTERROR_STEP_FINAL_SIGPROV for the signature provider, "the
  // function that builds information for the signing certificate",
  // CRYPT_PROVIDER_FUNCTIONS); the chain and its policy come after them
  // (TRUSTERROR_STEP_FINAL_CERTPROV, _POLICYPROV). A chain that fails thus
  // leaves the first two at 0 and the signer in place.
  CRYPT_PROVIDER_DATA* const provider =
      data.hWVTStateData != nullptr ? providerData(data.hWVTStateData) : nullptr;
  if (provider != nullptr && provider->padwTrustStepErrors != nullptr &&
      provider->cdwTrustStepErrors > TRUSTERROR_STEP_FINAL_SIGPROV) {
    signature.objectStep = provider->padwTrustStepErrors[TRUSTERROR_STEP_FINAL_OBJPROV];
    signature.signerStep = provider->padwTrustStepErrors[TRUSTERROR_STEP_FINAL_SIGPROV];
    CRYPT_PROVIDER_SGNR* const first = providerSigner(provider, 0, FALSE, 0);
    if (first != nullptr && first->pChainContext != nullptr)
      signature.chainStatus = first->pChainContext->TrustStatus.dwErrorStatus;
    if (first != nullptr && first->csCertChain > 0 && first->pasCertChain[0].pCert != nullptr) {
      const PCCERT_CONTEXT certificate = first->pasCertChain[0].pCert;
      signature.certificate.assign(reinterpret_cast<const char*>(certificate->pbCertEncoded),
                                   certificate->cbCertEncoded);
      const CERT_NAME_BLOB& subject = certificate->pCertInfo->Subject;
      signature.subject.assign(reinterpret_cast<const char*>(subject.pbData), subject.cbData);
      signature.name = DisplayName(certificate);
    }
  }
  // The state that the verification kept is released on every path.
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  verify(noUser, &action, &data);
  return static_cast<std::uint32_t>(result);
}

}  // namespace platform
