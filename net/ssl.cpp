#include "net/ssl.h"

namespace qelvo::net {

TCustomSSL::TCustomSSL(TTCPBlockSocket* Value) : FSocket(Value) {}

void TCustomSSL::ReturnError() {
  LastError = -1;
  LastErrorDesc = cSSLNotCompiled;
}

void TCustomSSL::Assign(const TCustomSSL& Value) {
  SSLType = Value.SSLType;
  KeyPassword = Value.KeyPassword;
  Ciphers = Value.Ciphers;
  CertificateFile = Value.CertificateFile;
  PrivateKeyFile = Value.PrivateKeyFile;
  Certificate = Value.Certificate;
  PrivateKey = Value.PrivateKey;
  PFX = Value.PFX;
  PFXfile = Value.PFXfile;
  CertCA = Value.CertCA;
  SetCertCAFile(Value.CertCAFile());
  TrustCertificate = Value.TrustCertificate;
  TrustCertificateFile = Value.TrustCertificateFile;
  VerifyCert = Value.VerifyCert;
  Username = Value.Username;
  Password = Value.Password;
  SSHChannelType = Value.SSHChannelType;
  SSHChannelArg1 = Value.SSHChannelArg1;
  SSHChannelArg2 = Value.SSHChannelArg2;
  CertComplianceLevel = Value.CertComplianceLevel;
  SNIHost = Value.SNIHost;
  OnVerifyCert = Value.OnVerifyCert;
}

std::string RefusedSSLType(TSSLType Type) {
  const char* name = "";
  switch (Type) {
    case LT_all:
    case LT_TLSv1_2:
    case LT_TLSv1_3: return "";
    case LT_SSLv2: name = "SSL 2.0"; break;
    case LT_SSLv3: name = "SSL 3.0"; break;
    case LT_TLSv1: name = "TLS 1.0"; break;
    case LT_TLSv1_1: name = "TLS 1.1"; break;
    case LT_SSHv2: name = "SSH 2"; break;
  }
  return std::string(name) + " is not supported: only TLS 1.2 and 1.3 are";
}

bool TCustomSSL::Connect() {
  ReturnError();
  return false;
}
bool TCustomSSL::Accept() {
  ReturnError();
  return false;
}
bool TCustomSSL::Shutdown() {
  ReturnError();
  return false;
}
bool TCustomSSL::BiShutdown() {
  ReturnError();
  return false;
}
int32_t TCustomSSL::SendBuffer(const void*, int32_t) {
  ReturnError();
  return -1;
}
int32_t TCustomSSL::RecvBuffer(void*, int32_t) {
  ReturnError();
  return -1;
}
int32_t TCustomSSL::WaitingData() {
  ReturnError();
  return 0;
}

bool TCustomSSL::FinishHandshake() {
  SSLEnabled = true;
  if (OnVerifyCert && !OnVerifyCert(this)) {
    LastError = -1;
    LastErrorDesc = "handshake: the peer's certificate was refused";
    Shutdown();
    return false;
  }
  return true;
}

}  // namespace qelvo::net
