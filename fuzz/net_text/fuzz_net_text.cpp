#include <cstddef>
#include <cstdint>
#include <string>

#include "net/codec_util.h"
#include "net/http_client.h"
#include "net/ip_text.h"
#include "net/text_util.h"

using namespace qelvo::net;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string s(reinterpret_cast<const char*>(data), size);
  const TUrlParts u = SplitUrl(s);
  (void)PercentDecode(u.User);
  if (IsIPv6Text(s)) {
    const ByteString b = IPv6TextToBytes(s);
    if (b.size() != 16) __builtin_trap();
    (void)IPv6BytesToText(b);
  }
  (void)ExpandIPv6Text(s);
  (void)IsIPv4Text(s);
  (void)IPv4TextToBytes(s);
  (void)Base64Encode(s);
  (void)FindLineBreak(s);
  qelvo::rtl::TStringList lines;
  lines.SetText(s);
  for (int i = 0; i < lines.Count();) (void)NextHeaderLine(lines, i);
  THTTPSend http;
  http.DecodeStatus(s);
  return 0;
}
