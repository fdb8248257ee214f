// The peer's certificate of a Schannel session: the chain and name checks, and what it
// says about its subject.
#include "platform/win32/tls_schannel.h"

#include <bcrypt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace qelvo::platform::win32 {
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// The server policy's checks to skip (the chain is judged separately): the flags of the
// system's HTTP libraries, whose headers this file does not need otherwise.
constexpr DWORD kIgnoreRevocation = 0x00000080;
constexpr DWORD kIgnoreUnknownCA = 0x00000100;
constexpr DWORD kIgnoreWrongUsage = 0x00000200;
constexpr DWORD kIgnoreDateInvalid = 0x00002000;

struct StoreCloser {
  HCERTSTORE store;
  ~StoreCloser() {
    if (store != nullptr) CertCloseStore(store, 0);
  }
};

// Every certificate of a PEM bundle, or the one DER certificate, into the store; the
// number added.
int AddCertificates(HCERTSTORE store, const std::string& bytes) {
  int added = 0;
  static const std::string kBegin = "-----BEGIN CERTIFICATE-----";
  static const std::string kEnd = "-----END CERTIFICATE-----";
  size_t at = bytes.find(kBegin);
  if (at == std::string::npos) {
    return CertAddEncodedCertificateToStore(store, kEncoding, reinterpret_cast<const BYTE*>(bytes.data()),
                                            static_cast<DWORD>(bytes.size()), CERT_STORE_ADD_ALWAYS, nullptr)
               ? 1
               : 0;
  }
  while (at != std::string::npos) {
    const size_t end = bytes.find(kEnd, at);
    if (end == std::string::npos) break;
    const std::string block = bytes.substr(at, end + kEnd.size() - at);
    DWORD size = 0;
    if (CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                             &size, nullptr, nullptr) &&
        size > 0) {
      std::string der(size, '\0');
      if (CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
                               reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr) &&
          CertAddEncodedCertificateToStore(store, kEncoding, reinterpret_cast<const BYTE*>(der.data()), size,
                                           CERT_STORE_ADD_ALWAYS, nullptr))
        ++added;
    }
    at = bytes.find(kBegin, end);
  }
  return added;
}

bool InStore(HCERTSTORE store, PCCERT_CONTEXT cert) {
  PCCERT_CONTEXT it = nullptr;
  while ((it = CertEnumCertificatesInStore(store, it)) != nullptr) {
    if (CertCompareCertificate(kEncoding, it->pCertInfo, cert->pCertInfo)) {
      CertFreeCertificateContext(it);
      return true;
    }
  }
  return false;
}

bool SelfSigned(PCCERT_CONTEXT cert) {
  return CertCompareCertificateName(kEncoding, &cert->pCertInfo->Subject, &cert->pCertInfo->Issuer) != 0;
}

const char* ShortName(const char* oid) {
  static const struct {
    const char* oid;
    const char* name;
  } kNames[] = {{"2.5.4.3", "CN"},  {"2.5.4.6", "C"},        {"2.5.4.7", "L"},
                {"2.5.4.8", "ST"},  {"2.5.4.10", "O"},       {"2.5.4.11", "OU"},
                {"2.5.4.5", "serialNumber"}, {"1.2.840.113549.1.9.1", "emailAddress"},
                {"0.9.2342.19200300.100.1.25", "DC"}};
  for (const auto& n : kNames)
    if (std::strcmp(oid, n.oid) == 0) return n.name;
  return oid;
}

// "/CN=host/O=org", in the order of the encoding.
std::string NameText(const CERT_NAME_BLOB& name) {
  CERT_NAME_INFO* info = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(kEncoding, X509_NAME, name.pbData, name.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &info,
                           &size))
    return "";
  std::string text;
  for (DWORD i = 0; i < info->cRDN; ++i) {
    for (DWORD j = 0; j < info->rgRDN[i].cRDNAttr; ++j) {
      CERT_RDN_ATTR& attr = info->rgRDN[i].rgRDNAttr[j];
      const DWORD n = CertRDNValueToStrW(attr.dwValueType, &attr.Value, nullptr, 0);
      std::wstring value(n, L'\0');
      if (n > 0) CertRDNValueToStrW(attr.dwValueType, &attr.Value, value.data(), n);
      while (!value.empty() && value.back() == L'\0') value.pop_back();
      text += std::string("/") + ShortName(attr.pszObjId) + "=" + Narrow(value);
    }
  }
  LocalFree(info);
  return text;
}

std::string TimeText(const FILETIME& time) {
  SYSTEMTIME t{};
  if (!FileTimeToSystemTime(&time, &t)) return "";
  char text[40];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u UTC", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return text;
}

std::string Digest(const wchar_t* algorithm, DWORD length, const BYTE* data, DWORD size) {
  BCRYPT_ALG_HANDLE alg = nullptr;
  if (BCryptOpenAlgorithmProvider(&alg, algorithm, nullptr, 0) != 0) return "";
  std::string digest(length, '\0');
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0) == 0;
  ok = ok && BCryptHashData(hash, const_cast<BYTE*>(data), size, 0) == 0;
  ok = ok && BCryptFinishHash(hash, reinterpret_cast<BYTE*>(digest.data()), length, 0) == 0;
  if (hash != nullptr) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(alg, 0);
  return ok ? digest : "";
}

std::string Tlv(unsigned char tag, const std::string& body) {
  std::string out(1, static_cast<char>(tag));
  const size_t n = body.size();
  if (n < 0x80) {
    out += static_cast<char>(n);
  } else {
    std::string len;
    for (size_t v = n; v > 0; v >>= 8) len.insert(len.begin(), static_cast<char>(v & 0xFF));
    out += static_cast<char>(0x80 | len.size());
    out += len;
  }
  return out + body;
}

std::string OidDer(const char* dotted) {
  std::vector<unsigned long> arcs;
  for (const char* p = dotted; *p != '\0';) {
    char* end = nullptr;
    arcs.push_back(std::strtoul(p, &end, 10));
    if (end == p) break;
    p = *end == '.' ? end + 1 : end;
  }
  std::string body;
  // The first two arcs share one number; each is base 128, high bit on all but the last.
  for (size_t i = 1; i < arcs.size(); ++i) {
    unsigned long v = i == 1 ? arcs[0] * 40 + arcs[1] : arcs[i];
    std::string digits(1, static_cast<char>(v & 0x7F));
    for (v >>= 7; v > 0; v >>= 7) digits.insert(digits.begin(), static_cast<char>(0x80 | (v & 0x7F)));
    body += digits;
  }
  return Tlv(0x06, body);
}

// Trimmed, inner runs of white space as one space, ASCII letters in lower case.
std::string Canonical(const std::string& text) {
  std::string out;
  bool space = false;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
      space = !out.empty();
      continue;
    }
    if (space) out += ' ';
    space = false;
    out += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return out;
}

uint32_t NameHash(const CERT_NAME_BLOB& name) {
  CERT_NAME_INFO* info = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(kEncoding, X509_NAME, name.pbData, name.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &info,
                           &size))
    return 0;
  std::string canon;
  for (DWORD i = 0; i < info->cRDN; ++i) {
    std::string set;
    for (DWORD j = 0; j < info->rgRDN[i].cRDNAttr; ++j) {
      CERT_RDN_ATTR& attr = info->rgRDN[i].rgRDNAttr[j];
      const DWORD n = CertRDNValueToStrW(attr.dwValueType, &attr.Value, nullptr, 0);
      std::wstring value(n, L'\0');
      if (n > 0) CertRDNValueToStrW(attr.dwValueType, &attr.Value, value.data(), n);
      while (!value.empty() && value.back() == L'\0') value.pop_back();
      set += Tlv(0x30, OidDer(attr.pszObjId) + Tlv(0x0C, Canonical(Narrow(value))));
    }
    canon += Tlv(0x31, set);
  }
  LocalFree(info);
  const std::string sha1 = Digest(BCRYPT_SHA1_ALGORITHM, 20, reinterpret_cast<const BYTE*>(canon.data()),
                                  static_cast<DWORD>(canon.size()));
  if (sha1.size() < 4) return 0;
  const auto* b = reinterpret_cast<const unsigned char*>(sha1.data());
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
         static_cast<uint32_t>(b[3]) << 24;
}

// What the chain's status says, the first fault in the order a person fixes them.
TTlsTrust ChainFault(PCCERT_CHAIN_CONTEXT chain, PCCERT_CONTEXT leaf, bool ownRootTrusted) {
  const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
  DWORD errors = chain->TrustStatus.dwErrorStatus;
  if (ownRootTrusted) errors &= ~static_cast<DWORD>(CERT_TRUST_IS_UNTRUSTED_ROOT);
  if (errors & CERT_TRUST_IS_PARTIAL_CHAIN) return TTlsTrust::NoIssuer;
  if (errors & CERT_TRUST_IS_UNTRUSTED_ROOT)
    return simple->cElement == 1 && SelfSigned(leaf) ? TTlsTrust::SelfSigned : TTlsTrust::SelfSignedInChain;
  if (errors & CERT_TRUST_IS_REVOKED) return TTlsTrust::Revoked;
  if (errors & CERT_TRUST_IS_NOT_TIME_VALID) {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    for (DWORD i = 0; i < simple->cElement; ++i) {
      const CERT_INFO* info = simple->rgpElement[i]->pCertContext->pCertInfo;
      if (CompareFileTime(&now, &info->NotBefore) < 0) return TTlsTrust::NotYetValid;
    }
    return TTlsTrust::Expired;
  }
  return errors == CERT_TRUST_NO_ERROR ? TTlsTrust::Trusted : TTlsTrust::Other;
}

}  // namespace

PCCERT_CONTEXT TSchannelSession::RemoteCertificate() {
  if (!FRemoteFetched && FHaveCtx) {
    FRemoteFetched = true;
    if (QueryContextAttributesW(&FCtx, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &FRemote) != SEC_E_OK) FRemote = nullptr;
  }
  return FRemote;
}

TTlsTrust TSchannelSession::Verify(const std::vector<std::string>& TrustedCAs, std::string& TrustText) {
  TrustText.clear();
  PCCERT_CONTEXT leaf = RemoteCertificate();
  if (leaf == nullptr) return TTlsTrust::NoCertificate;
  StoreCloser own{CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr)};
  StoreCloser extra{CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr)};
  if (own.store == nullptr || extra.store == nullptr) {
    TrustText = "cannot open a certificate store: " + StatusText(static_cast<long>(GetLastError()));
    return TTlsTrust::Other;
  }
  int given = 0;
  for (const std::string& ca : TrustedCAs) given += AddCertificates(own.store, ca);
  // The certificates the peer sent, and the given roots, complete the chain.
  CertAddStoreToCollection(extra.store, leaf->hCertStore, 0, 0);
  CertAddStoreToCollection(extra.store, own.store, 0, 0);

  // Given CAs are the only roots trusted: a chain must end in one of them.
  HCERTCHAINENGINE engine = nullptr;
  if (!TrustedCAs.empty()) {
    CERT_CHAIN_ENGINE_CONFIG config{};
    config.cbSize = sizeof config;
    config.hExclusiveRoot = own.store;
    if (!CertCreateCertificateChainEngine(&config, &engine)) engine = nullptr;
  }
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  LPSTR usage[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usage;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  const BOOL built = CertGetCertificateChain(engine, leaf, nullptr, extra.store, &para, 0, nullptr, &chain);
  if (engine != nullptr) CertFreeCertificateChainEngine(engine);
  if (!built || chain == nullptr || chain->cChain == 0) {
    TrustText = "cannot build the chain: " + StatusText(static_cast<long>(GetLastError()));
    if (chain != nullptr) CertFreeCertificateChain(chain);
    return TTlsTrust::Other;
  }
  const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
  PCCERT_CONTEXT top = simple->rgpElement[simple->cElement - 1]->pCertContext;
  bool ownRoot = given > 0 && InStore(own.store, top);
  if (!TrustedCAs.empty() && !ownRoot && !(chain->TrustStatus.dwErrorStatus & CERT_TRUST_IS_PARTIAL_CHAIN)) {
    // A root the system trusts is not one of the given ones.
    CertFreeCertificateChain(chain);
    return SelfSigned(top) ? TTlsTrust::SelfSignedInChain : TTlsTrust::NoIssuer;
  }
  TTlsTrust fault = ChainFault(chain, leaf, ownRoot);
  if (fault == TTlsTrust::Other) {
    char code[40];
    std::snprintf(code, sizeof code, "chain status 0x%08lX", static_cast<unsigned long>(chain->TrustStatus.dwErrorStatus));
    TrustText = code;
  }
  // The name, through the system's own server policy; the chain itself is judged above.
  if ((fault == TTlsTrust::Trusted || fault == TTlsTrust::Expired || fault == TTlsTrust::NotYetValid) &&
      !FSettings.ServerName.empty()) {
    std::wstring name = Wide(FSettings.ServerName);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = kIgnoreUnknownCA | kIgnoreDateInvalid | kIgnoreRevocation | kIgnoreWrongUsage;
    ssl.pwszServerName = name.data();
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_NOT_TIME_VALID_FLAGS | CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status)) {
      TrustText = "cannot check the name: " + StatusText(static_cast<long>(GetLastError()));
      fault = TTlsTrust::Other;
    } else if (status.dwError == static_cast<DWORD>(CERT_E_CN_NO_MATCH)) {
      fault = FTarget.empty() ? TTlsTrust::AddressMismatch : TTlsTrust::NameMismatch;
    } else if (status.dwError != 0 && fault == TTlsTrust::Trusted) {
      TrustText = StatusText(static_cast<long>(status.dwError));
      fault = TTlsTrust::Other;
    }
  }
  CertFreeCertificateChain(chain);
  return fault;
}

bool TSchannelSession::Peer(TTlsPeer& Info) {
  PCCERT_CONTEXT cert = RemoteCertificate();
  if (cert == nullptr) return false;
  Info.Der.assign(reinterpret_cast<const char*>(cert->pbCertEncoded), cert->cbCertEncoded);
  Info.Subject = NameText(cert->pCertInfo->Subject);
  Info.Issuer = NameText(cert->pCertInfo->Issuer);
  wchar_t cn[256] = {};
  const DWORD n =
      CertGetNameStringW(cert, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), cn, 256);
  Info.CommonName = n > 1 ? Narrow(cn, n - 1) : "";
  // The serial number is stored least significant byte first.
  static const char kHex[] = "0123456789ABCDEF";
  const CRYPT_INTEGER_BLOB& serial = cert->pCertInfo->SerialNumber;
  Info.SerialHex.clear();
  DWORD top = serial.cbData;
  while (top > 1 && serial.pbData[top - 1] == 0) --top;
  for (DWORD i = top; i-- > 0;) {
    Info.SerialHex += kHex[serial.pbData[i] >> 4];
    Info.SerialHex += kHex[serial.pbData[i] & 15];
  }
  Info.Sha256 = Digest(BCRYPT_SHA256_ALGORITHM, 32, cert->pbCertEncoded, cert->cbCertEncoded);
  Info.SubjectHash = NameHash(cert->pCertInfo->Subject);
  Info.NotBefore = TimeText(cert->pCertInfo->NotBefore);
  Info.NotAfter = TimeText(cert->pCertInfo->NotAfter);
  return true;
}

}  // namespace qelvo::platform::win32
