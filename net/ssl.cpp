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

}  // namespace qelvo::net
