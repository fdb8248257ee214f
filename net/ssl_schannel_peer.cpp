// What a TSSLSchannel session trusts and presents, and what it tells about its peer.
#include <climits>
#include <vector>

#include "net/ssl_schannel.h"
#include "platform/file_stream.h"
#include "platform/tls_session.h"
#include "rtl/exceptions.h"

namespace qelvo::net {
namespace {

// The whole file, or false when it cannot be read.
bool ReadWholeFile(const std::string& Name, std::string& Bytes) {
  try {
    platform::TFileStream f(Name, platform::fmOpenRead | platform::fmShareDenyWrite);
    const int64_t size = f.Size();
    Bytes.assign(static_cast<size_t>(size), '\0');
    return f.Read(Bytes.data(), size) == size;
  } catch (const rtl::Exception&) {
    return false;
  }
}

// The words the OpenSSL layer uses for the same faults, so users see one message.
std::string TrustReason(platform::TTlsTrust Trust, const std::string& Text) {
  using platform::TTlsTrust;
  switch (Trust) {
    case TTlsTrust::Trusted: return "ok";
    case TTlsTrust::NoCertificate: return "the peer sent no certificate";
    case TTlsTrust::Expired: return "certificate has expired";
    case TTlsTrust::NotYetValid: return "certificate is not yet valid";
    case TTlsTrust::SelfSigned: return "self-signed certificate";
    case TTlsTrust::SelfSignedInChain: return "self-signed certificate in certificate chain";
    case TTlsTrust::NoIssuer: return "unable to get local issuer certificate";
    case TTlsTrust::Revoked: return "certificate revoked";
    case TTlsTrust::NameMismatch: return "hostname mismatch";
    case TTlsTrust::AddressMismatch: return "IP address mismatch";
    case TTlsTrust::Other: break;
  }
  return Text.empty() ? "the certificate is not trusted" : Text;
}

// "/CN=a/O=b" as "CN=a, O=b".
std::string ReadableName(const std::string& Oneline) {
  std::string text;
  for (size_t i = 0; i < Oneline.size(); ++i) {
    if (Oneline[i] == '/') {
      if (i > 0) text += ", ";
    } else {
      text += Oneline[i];
    }
  }
  return text;
}

std::string HexPairs(const std::string& Bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < Bytes.size(); ++i) {
    if (i > 0) text += ':';
    const auto b = static_cast<unsigned char>(Bytes[i]);
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text;
}

}  // namespace

bool TSSLSchannel::OwnCertificate(platform::TTlsSettings& Settings) {
  if (!PFX.empty()) {
    Settings.Pfx = PFX;
  } else if (!PFXfile.empty() && !ReadWholeFile(PFXfile, Settings.Pfx)) {
    SetError(-1, "cannot read the PFX file " + PFXfile);
    return false;
  }
  Settings.Certificate = Certificate;
  Settings.PrivateKey = PrivateKey;
  if (!CertificateFile.empty() && !ReadWholeFile(CertificateFile, Settings.Certificate)) {
    SetError(-1, "cannot read the certificate file " + CertificateFile);
    return false;
  }
  if (!PrivateKeyFile.empty() && !ReadWholeFile(PrivateKeyFile, Settings.PrivateKey)) {
    SetError(-1, "cannot read the private key file " + PrivateKeyFile);
    return false;
  }
  return true;
}

bool TSSLSchannel::TrustedCAs(std::vector<std::string>& CAs) {
  for (const std::string* file : {&FCertCAFile, &TrustCertificateFile}) {
    if (file->empty()) continue;
    std::string bytes;
    if (!ReadWholeFile(*file, bytes)) {
      SetError(-1, "cannot read the CA certificates of " + *file);
      return false;
    }
    CAs.push_back(std::move(bytes));
  }
  for (const rtl::ByteString* given : {&CertCA, &TrustCertificate})
    if (!given->empty()) CAs.push_back(*given);
  return true;
}

bool TSSLSchannel::CheckPeer() {
  std::vector<std::string> cas;
  if (!TrustedCAs(cas)) return false;
  std::string text;
  const platform::TTlsTrust trust = FSession->Verify(cas, text);
  FVerifyResult = trust == platform::TTlsTrust::Trusted ? 0 : static_cast<int32_t>(trust);
  if (!VerifyCert || FVerifyResult == 0) return true;
  SetError(FVerifyResult, "certificate verify failed: " + TrustReason(trust, text));
  // The peer learns why: a close instead of a silent drop.
  std::string out;
  FSession->Close(out);
  const int32_t error = LastError;
  const std::string desc = LastErrorDesc;
  if (!out.empty()) SendAll(out);
  LastError = error;
  LastErrorDesc = desc;
  return false;
}

std::string TSSLSchannel::GetSSLVersion() { return FSession ? FSession->Protocol() : ""; }

std::string TSSLSchannel::GetPeerSubject() {
  platform::TTlsPeer peer;
  return FSession && FSession->Peer(peer) ? peer.Subject : "";
}

std::string TSSLSchannel::GetPeerIssuer() {
  platform::TTlsPeer peer;
  return FSession && FSession->Peer(peer) ? peer.Issuer : "";
}

std::string TSSLSchannel::GetPeerSerialNo_Text() {
  platform::TTlsPeer peer;
  return FSession && FSession->Peer(peer) ? peer.SerialHex : "";
}

int32_t TSSLSchannel::GetPeerSerialNo() {
  const std::string hex = GetPeerSerialNo_Text();
  // Serial numbers are usually wider than 32 bits: those give -1, the text form has them.
  if (hex.empty() || hex.size() > 8) return -1;
  const unsigned long v = std::stoul(hex, nullptr, 16);
  return v > INT32_MAX ? -1 : static_cast<int32_t>(v);
}

std::string TSSLSchannel::GetPeerName() {
  platform::TTlsPeer peer;
  return FSession && FSession->Peer(peer) ? peer.CommonName : "";
}

uint32_t TSSLSchannel::GetPeerNameHash() {
  platform::TTlsPeer peer;
  return FSession && FSession->Peer(peer) ? peer.SubjectHash : 0;
}

std::string TSSLSchannel::GetPeerFingerprint() {
  platform::TTlsPeer peer;
  return FSession && FSession->Peer(peer) ? HexPairs(peer.Sha256) : "";
}

std::string TSSLSchannel::GetCertInfo() {
  platform::TTlsPeer peer;
  if (!FSession || !FSession->Peer(peer)) return "";
  return "Certificate:\n    Serial Number: " + peer.SerialHex + "\n    Issuer: " + ReadableName(peer.Issuer) +
         "\n    Validity\n        Not Before: " + peer.NotBefore + "\n        Not After : " + peer.NotAfter +
         "\n    Subject: " + ReadableName(peer.Subject) + "\n    SHA-256 Fingerprint: " + HexPairs(peer.Sha256) +
         "\n";
}

std::string TSSLSchannel::GetCipherName() { return FSession ? FSession->CipherName() : ""; }

int32_t TSSLSchannel::GetCipherBits() { return FSession ? FSession->CipherBits() : 0; }

// Schannel reports one strength: the bits of the bulk cipher's key.
int32_t TSSLSchannel::GetCipherAlgBits() { return GetCipherBits(); }

// 0 when the peer's certificate passed verification.
int32_t TSSLSchannel::GetVerifyCert() { return FVerifyResult; }

}  // namespace qelvo::net
