// The first byte's low bit makes the first line a listing mask tried before the others
// (masks can come from callers); the rest is the listing. Parsing must end without
// crashing, reading out of bounds or keeping a name longer than a listing line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/ftp_list.h"

using namespace qelvo::net;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool ownMask = (data[0] & 1) != 0;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  TFTPList list;
  if (ownMask) {
    const size_t end = text.find('\n');
    list.Masks.Insert(0, text.substr(0, end));
    text = end == std::string::npos ? "" : text.substr(end + 1);
  }
  list.Lines.SetText(text);
  list.ParseLines();
  for (int i = 0; i < list.Count(); ++i) {
    const TFTPListRec& r = list[i];
    if (r.FileName.size() > TFTPList::cMaxLineLength || r.FileSize < 0) std::abort();
  }
  (void)MonthNumber(text.substr(0, 3), text);
  (void)TimeOfDayFromText(text.substr(0, 16));
  return 0;
}
