// The Schannel handshake and records of a TTlsSession. The caller moves the bytes; every
// buffer Schannel allocates is freed here on every path.
#include "platform/win32/tls_schannel.h"

#include <algorithm>
#include <cstdio>

namespace qelvo::platform {
namespace win32 {
namespace {

constexpr DWORD kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                           ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_EXTENDED_ERROR |
                           ISC_REQ_MANUAL_CRED_VALIDATION | ISC_REQ_USE_SUPPLIED_CREDS;

// Handshake messages are a few kilobytes; a peer that keeps the handshake going longer
// than this many steps on one call is not finishing it.
constexpr int kMaxStepsPerCall = 64;

// The content type of an alert record (TLS 1.2 shows it; TLS 1.3 hides it).
constexpr unsigned char kAlertRecord = 21;

void AppendToken(const SecBuffer& b, std::string& Out) {
  if (b.pvBuffer == nullptr) return;
  if (b.cbBuffer > 0) Out.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
  FreeContextBuffer(b.pvBuffer);
}

// Schannel speaks TLS 1.3 from Windows build 20348 on, and only through SCH_CREDENTIALS;
// earlier systems (and Wine, which reports an earlier one) take the older SCHANNEL_CRED,
// whose list of versions they honour.
bool HasTls13Credentials() {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto get = ntdll != nullptr ? reinterpret_cast<RtlGetVersionFn>(
                                    reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                              : nullptr;
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
  if (get == nullptr || get(&v) != 0) return false;
  return v.dwMajorVersion > 10 || (v.dwMajorVersion == 10 && v.dwBuildNumber >= 20348);
}

bool IsAddress(const std::string& name) {
  if (name.find(':') != std::string::npos) return true;  // IPv6
  return !name.empty() && name.find_first_not_of("0123456789.") == std::string::npos;
}

}  // namespace

std::string StatusText(long Status) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, static_cast<DWORD>(Status), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string result = n > 0 && text != nullptr ? Narrow(text, n) : "";
  if (text != nullptr) LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' ' ||
                             result.back() == '.'))
    result.pop_back();
  char code[32];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(Status));
  if (result.empty()) {
    // Systems without the message texts: at least the status's name.
    static const struct {
      long status;
      const char* name;
    } kNames[] = {{SEC_E_INTERNAL_ERROR, "SEC_E_INTERNAL_ERROR"},
                  {SEC_E_ILLEGAL_MESSAGE, "SEC_E_ILLEGAL_MESSAGE"},
                  {SEC_E_ALGORITHM_MISMATCH, "SEC_E_ALGORITHM_MISMATCH"},
                  {SEC_E_UNSUPPORTED_FUNCTION, "SEC_E_UNSUPPORTED_FUNCTION"},
                  {SEC_E_INVALID_TOKEN, "SEC_E_INVALID_TOKEN"},
                  {SEC_E_MESSAGE_ALTERED, "SEC_E_MESSAGE_ALTERED"},
                  {SEC_E_DECRYPT_FAILURE, "SEC_E_DECRYPT_FAILURE"},
                  {SEC_E_CERT_UNKNOWN, "SEC_E_CERT_UNKNOWN"},
                  {SEC_E_NO_CREDENTIALS, "SEC_E_NO_CREDENTIALS"},
                  {SEC_E_UNKNOWN_CREDENTIALS, "SEC_E_UNKNOWN_CREDENTIALS"},
                  {SEC_E_WRONG_PRINCIPAL, "SEC_E_WRONG_PRINCIPAL"},
                  {SEC_E_INVALID_HANDLE, "SEC_E_INVALID_HANDLE"},
                  {SEC_E_CONTEXT_EXPIRED, "SEC_E_CONTEXT_EXPIRED"}};
    for (const auto& n : kNames)
      if (n.status == Status) return std::string(n.name) + " (" + code + ")";
    return std::string("status ") + code;
  }
  return result + " (" + code + ")";
}

TSchannelCredentials::~TSchannelCredentials() {
  if (HaveHandle) FreeCredentialsHandle(&Handle);
  if (OwnCert != nullptr) CertFreeCertificateContext(OwnCert);
  if (PfxStore != nullptr) CertCloseStore(PfxStore, 0);
  if (!KeyContainer.empty()) DeleteKeyContainer(KeyContainer);
}

TSchannelSession::~TSchannelSession() {
  if (FHaveCtx) DeleteSecurityContext(&FCtx);
  if (FRemote != nullptr) CertFreeCertificateContext(FRemote);
}

void TSchannelSession::ShareCredentials(std::shared_ptr<TTlsCredentials> Value) {
  FCreds = std::dynamic_pointer_cast<TSchannelCredentials>(Value);
}

TTlsStep TSchannelSession::Fail(SECURITY_STATUS Status, const char* What) {
  ErrorCode = static_cast<int32_t>(Status);
  ErrorText = std::string(What) + ": " + StatusText(Status);
  return TTlsStep::Failed;
}

bool TSchannelSession::LoadPfx() {
  CRYPT_DATA_BLOB blob{static_cast<DWORD>(FSettings.Pfx.size()),
                       reinterpret_cast<BYTE*>(FSettings.Pfx.data())};
  if (!PFXIsPFXBlob(&blob)) {
    ErrorCode = -1;
    ErrorText = "cannot use the PFX data: not PKCS #12 data";
    return false;
  }
  const std::wstring password = Wide(FSettings.PfxPassword);
  FCreds->PfxStore = PFXImportCertStore(&blob, password.c_str(), CRYPT_USER_KEYSET);
  if (FCreds->PfxStore == nullptr) {
    ErrorCode = static_cast<int32_t>(GetLastError());
    ErrorText = "cannot use the PFX data: " + StatusText(ErrorCode);
    return false;
  }
  // The certificate that comes with its key; the others are its chain.
  PCCERT_CONTEXT cert = nullptr;
  while ((cert = CertEnumCertificatesInStore(FCreds->PfxStore, cert)) != nullptr) {
    DWORD size = 0;
    if (CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size) && size > 0) {
      FCreds->OwnCert = CertDuplicateCertificateContext(cert);
      CertFreeCertificateContext(cert);
      return true;
    }
  }
  ErrorCode = -1;
  ErrorText = "cannot use the PFX data: it holds no certificate with its private key";
  return false;
}

bool TSchannelSession::Acquire() {
  if (FCreds) return true;
  FCreds = std::make_shared<TSchannelCredentials>();
  const bool pem = !FSettings.Certificate.empty() || !FSettings.PrivateKey.empty();
  if ((!FSettings.Pfx.empty() && !LoadPfx()) || (FSettings.Pfx.empty() && pem && !LoadPemCertificate())) {
    FCreds.reset();
    return false;
  }
  PCCERT_CONTEXT creds[1] = {FCreds->OwnCert};
  const DWORD flags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
  TimeStamp expiry{};
  const DWORD enabled = FSettings.Tls13Only ? SP_PROT_TLS1_3_CLIENT : SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT;
  SECURITY_STATUS s = SEC_E_UNSUPPORTED_FUNCTION;
  if (HasTls13Credentials()) {
    // The settings form that offers TLS 1.3; it names the versions to leave out.
    TLS_PARAMETERS params{};
    params.grbitDisabledProtocols = ~enabled;
    SCH_CREDENTIALS current{};
    current.dwVersion = SCH_CREDENTIALS_VERSION;
    current.cCreds = FCreds->OwnCert != nullptr ? 1 : 0;
    current.paCred = FCreds->OwnCert != nullptr ? creds : nullptr;
    current.dwFlags = flags;
    current.cTlsParameters = 1;
    current.pTlsParameters = &params;
    s = AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                  &current, nullptr, nullptr, &FCreds->Handle, &expiry);
  }
  // The older form; a system that does not know TLS 1.3 may refuse its flag, and then
  // gets TLS 1.2 alone (unless 1.3 was demanded).
  for (const DWORD versions : {enabled, static_cast<DWORD>(SP_PROT_TLS1_2_CLIENT)}) {
    if (s == SEC_E_OK || (versions != enabled && FSettings.Tls13Only)) break;
    SCHANNEL_CRED old{};
    old.dwVersion = SCHANNEL_CRED_VERSION;
    old.cCreds = FCreds->OwnCert != nullptr ? 1 : 0;
    old.paCred = FCreds->OwnCert != nullptr ? creds : nullptr;
    old.dwFlags = flags;
    old.grbitEnabledProtocols = versions;
    s = AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr, &old,
                                  nullptr, nullptr, &FCreds->Handle, &expiry);
  }
  if (s != SEC_E_OK) {
    FCreds.reset();
    Fail(s, FSettings.Tls13Only ? "cannot set up Schannel for TLS 1.3 (the system may not offer it)"
                                : "cannot set up Schannel");
    return false;
  }
  FCreds->HaveHandle = true;
  return true;
}

SECURITY_STATUS TSchannelSession::Step(std::string* In, std::string& Out) {
  SecBuffer inBufs[2] = {{0, SECBUFFER_TOKEN, nullptr}, {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc inDesc{SECBUFFER_VERSION, 2, inBufs};
  if (In != nullptr) {
    inBufs[0].cbBuffer = static_cast<unsigned long>(In->size());
    inBufs[0].pvBuffer = In->data();
  }
  SecBuffer outBufs[1] = {{0, SECBUFFER_TOKEN, nullptr}};
  SecBufferDesc outDesc{SECBUFFER_VERSION, 1, outBufs};
  ULONG attrs = 0;
  TimeStamp expiry{};
  wchar_t* target = FTarget.empty() ? nullptr : FTarget.data();
  const SECURITY_STATUS s =
      InitializeSecurityContextW(&FCreds->Handle, FHaveCtx ? &FCtx : nullptr, target, kRequest, 0, 0,
                                 In != nullptr ? &inDesc : nullptr, 0, &FCtx, &outDesc, &attrs,
                                 &expiry);
  if (!FHaveCtx && (s == SEC_E_OK || s == SEC_I_CONTINUE_NEEDED)) FHaveCtx = true;
  AppendToken(outBufs[0], Out);  // also the alert of a failed handshake
  // Asked for a certificate we do not have: the same messages go in again, and the
  // handshake goes on without one.
  if (In != nullptr && s != SEC_E_INCOMPLETE_MESSAGE && s != SEC_I_INCOMPLETE_CREDENTIALS) {
    // What Schannel did not take belongs to the next message (or the first records).
    const size_t extra = inBufs[1].BufferType == SECBUFFER_EXTRA ? inBufs[1].cbBuffer : 0;
    In->erase(0, In->size() - std::min(extra, In->size()));
  }
  return s;
}

TTlsStep TSchannelSession::Start(const TTlsSettings& Settings, std::string& Out) {
  FSettings = Settings;
  FTarget = IsAddress(Settings.ServerName) ? std::wstring() : Wide(Settings.ServerName);
  if (!Acquire()) return TTlsStep::Failed;
  const SECURITY_STATUS s = Step(nullptr, Out);
  if (s != SEC_I_CONTINUE_NEEDED) return Fail(s, "handshake");
  return TTlsStep::NeedInput;
}

TTlsStep TSchannelSession::Handshake(std::string& In, std::string& Out) {
  for (int i = 0; i < kMaxStepsPerCall; ++i) {
    if (In.empty()) return TTlsStep::NeedInput;
    const SECURITY_STATUS s = Step(&In, Out);
    if (s == SEC_E_INCOMPLETE_MESSAGE) return TTlsStep::NeedInput;
    if (s == SEC_I_CONTINUE_NEEDED || s == SEC_I_INCOMPLETE_CREDENTIALS) continue;
    if (s != SEC_E_OK) return Fail(s, "handshake");
    const SECURITY_STATUS q = QueryContextAttributesW(&FCtx, SECPKG_ATTR_STREAM_SIZES, &FSizes);
    if (q != SEC_E_OK) return Fail(q, "handshake");
    FSizesKnown = true;
    // Systems that ignore part of the settings must not hand out a weaker session.
    const std::string version = Protocol();
    if (version != "TLSv1.3" && (FSettings.Tls13Only || version != "TLSv1.2")) {
      ErrorCode = -1;
      ErrorText = "handshake: the system negotiated " + (version.empty() ? std::string("an unknown version") : version) +
                  ", below the minimum of " + (FSettings.Tls13Only ? "TLS 1.3" : "TLS 1.2");
      return TTlsStep::Failed;
    }
    return TTlsStep::Done;
  }
  ErrorCode = -1;
  ErrorText = "handshake: the peer does not finish it";
  return TTlsStep::Failed;
}

TTlsStep TSchannelSession::Decrypt(std::string& In, std::string& Plain, std::string& Out) {
  if (!FHaveCtx) return Fail(SEC_E_INVALID_HANDLE, "receive");
  while (!In.empty()) {
    SecBuffer bufs[4] = {{static_cast<unsigned long>(In.size()), SECBUFFER_DATA, In.data()},
                         {0, SECBUFFER_EMPTY, nullptr},
                         {0, SECBUFFER_EMPTY, nullptr},
                         {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, bufs};
    const bool alert = static_cast<unsigned char>(In[0]) == kAlertRecord;
    const size_t before = Plain.size();
    const SECURITY_STATUS s = DecryptMessage(&FCtx, &desc, 0, nullptr);
    if (s == SEC_E_INCOMPLETE_MESSAGE) return TTlsStep::Done;  // the rest of the record is on its way
    if (s != SEC_E_OK && s != SEC_I_RENEGOTIATE && s != SEC_I_CONTEXT_EXPIRED) return Fail(s, "receive");
    size_t extra = 0;
    for (const SecBuffer& b : bufs) {
      if (b.BufferType == SECBUFFER_DATA && b.pvBuffer != nullptr && b.cbBuffer > 0)
        Plain.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
      else if (b.BufferType == SECBUFFER_EXTRA)
        extra = b.cbBuffer;
    }
    In.erase(0, In.size() - std::min(extra, In.size()));
    if (s == SEC_I_CONTEXT_EXPIRED) return TTlsStep::Closed;
    // Some implementations (Wine's) report the peer's close_notify as an empty record.
    if (s == SEC_E_OK && alert && Plain.size() == before) return TTlsStep::Closed;
    if (s == SEC_I_RENEGOTIATE && !In.empty()) {
      // A message after the handshake (a TLS 1.3 ticket or key update): Schannel takes it
      // through the handshake call, with what follows it.
      const SECURITY_STATUS r = Step(&In, Out);
      if (r != SEC_E_OK && r != SEC_I_CONTINUE_NEEDED && r != SEC_E_INCOMPLETE_MESSAGE) return Fail(r, "receive");
      if (r == SEC_E_INCOMPLETE_MESSAGE) return TTlsStep::Done;
    }
  }
  return TTlsStep::Done;
}

bool TSchannelSession::Encrypt(const char* Data, size_t Length, std::string& Out) {
  if (!FSizesKnown) {
    Fail(SEC_E_INVALID_HANDLE, "send");
    return false;
  }
  std::string record;
  while (Length > 0) {
    const size_t piece = std::min<size_t>(Length, FSizes.cbMaximumMessage);
    record.assign(FSizes.cbHeader + piece + FSizes.cbTrailer, '\0');
    std::copy(Data, Data + piece, record.begin() + FSizes.cbHeader);
    SecBuffer bufs[4] = {{FSizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                         {static_cast<unsigned long>(piece), SECBUFFER_DATA, record.data() + FSizes.cbHeader},
                         {FSizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + FSizes.cbHeader + piece},
                         {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, bufs};
    const SECURITY_STATUS s = EncryptMessage(&FCtx, 0, &desc, 0);
    if (s != SEC_E_OK) {
      Fail(s, "send");
      return false;
    }
    // The trailer may come out shorter than its room; the pieces are contiguous.
    Out.append(record.data(), bufs[0].cbBuffer + bufs[1].cbBuffer + bufs[2].cbBuffer);
    Data += piece;
    Length -= piece;
  }
  return true;
}

void TSchannelSession::Close(std::string& Out) {
  if (!FHaveCtx) return;
  DWORD type = SCHANNEL_SHUTDOWN;
  SecBuffer buf{sizeof type, SECBUFFER_TOKEN, &type};
  SecBufferDesc desc{SECBUFFER_VERSION, 1, &buf};
  if (ApplyControlToken(&FCtx, &desc) != SEC_E_OK) return;
  Step(nullptr, Out);
}

std::string TSchannelSession::Protocol() {
  SecPkgContext_ConnectionInfo info{};
  if (!FHaveCtx || QueryContextAttributesW(&FCtx, SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK) return "";
  if (info.dwProtocol & SP_PROT_TLS1_3) return "TLSv1.3";
  if (info.dwProtocol & SP_PROT_TLS1_2) return "TLSv1.2";
  if (info.dwProtocol & SP_PROT_TLS1_1) return "TLSv1.1";
  if (info.dwProtocol & SP_PROT_TLS1_0) return "TLSv1";
  return "";
}

std::string TSchannelSession::CipherName() {
  if (!FHaveCtx) return "";
  SecPkgContext_CipherInfo cipher{};
  cipher.dwVersion = SECPKGCONTEXT_CIPHERINFO_V1;
  if (QueryContextAttributesW(&FCtx, SECPKG_ATTR_CIPHER_INFO, &cipher) == SEC_E_OK && cipher.szCipherSuite[0] != 0)
    return Narrow(cipher.szCipherSuite, wcsnlen(cipher.szCipherSuite, SZ_ALG_MAX_SIZE));
  // Systems without the suite's name: the bulk cipher of the connection.
  SecPkgContext_ConnectionInfo info{};
  if (QueryContextAttributesW(&FCtx, SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK) return "";
  switch (info.aiCipher) {
    case CALG_AES_128: return "AES_128";
    case CALG_AES_256: return "AES_256";
    case CALG_AES: return "AES";
    case CALG_3DES: return "3DES";
    case CALG_RC4: return "RC4";
    default: {
      char text[32];
      std::snprintf(text, sizeof text, "ALG_%04X", static_cast<unsigned>(info.aiCipher));
      return text;
    }
  }
}

int32_t TSchannelSession::CipherBits() {
  SecPkgContext_ConnectionInfo info{};
  if (!FHaveCtx || QueryContextAttributesW(&FCtx, SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK) return 0;
  return static_cast<int32_t>(info.dwCipherStrength);
}

}  // namespace win32

std::unique_ptr<TTlsSession> NewTlsSession() { return std::make_unique<win32::TSchannelSession>(); }

std::string TlsLibraryVersion() {
  wchar_t path[MAX_PATH];
  const UINT n = GetSystemDirectoryW(path, MAX_PATH);
  std::wstring file = n > 0 && n < MAX_PATH ? std::wstring(path, n) + L"\\schannel.dll" : L"schannel.dll";
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  std::string version;
  if (size > 0) {
    std::string data(size, '\0');
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (GetFileVersionInfoW(file.c_str(), 0, size, data.data()) &&
        VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &len) && info != nullptr) {
      version = std::to_string(HIWORD(info->dwFileVersionMS)) + "." + std::to_string(LOWORD(info->dwFileVersionMS)) +
                "." + std::to_string(HIWORD(info->dwFileVersionLS)) + "." + std::to_string(LOWORD(info->dwFileVersionLS));
    }
  }
  return version.empty() ? "Schannel" : "Schannel " + version;
}

}  // namespace qelvo::platform
