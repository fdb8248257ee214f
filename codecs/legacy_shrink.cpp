// Shrink (method 1): LZW with codes of 9 bits growing to 13, whose table is never reset
// as a whole. Code 256 escapes to a control sub-code: 1 widens the codes by one bit,
// 2 frees every code that is no other code's prefix (a partial clear), and the freed
// slots are reused from 257 upwards. A code that is not defined yet (the classic KwKwK
// case) stands for the previous string plus its own first character.
//
// The tables hold codes 0..8192; a sub-code widening past 13 bits, or an expansion
// longer than the 8193-byte stack (only possible through chains that loop back over
// freed codes), is corrupted data.
#include <algorithm>
#include <memory>
#include <vector>

#include "codecs/legacy_helper.h"

namespace qelvo::codecs {
namespace {

constexpr int kTableSize = 8193;
constexpr int kFirstFree = 257;
constexpr int kCodeLimit = 8192;  // codes are assigned below this
constexpr int kMaxCodeSize = 13;
constexpr uint16_t kFree = 0xFFFF;

struct TShrinkTables {
  uint16_t Prefix[kTableSize];
  uint8_t Suffix[kTableSize];
  uint8_t Stack[kTableSize];
};

int NextFreeCode(const TShrinkTables& t, int from) {
  while (from < kCodeLimit && t.Prefix[from] != kFree) ++from;
  return from;
}

// Frees every code that is no other code's prefix; answers the first free code from 257
// on. All assigned codes take part, also those above the next free code that an earlier
// clear left in place: a prefix they still use must survive, as it does in the encoder.
int PartialClear(TShrinkTables& t) {
  std::vector<bool> isPrefix(kTableSize, false);
  for (int code = kFirstFree; code < kCodeLimit; ++code)
    if (t.Prefix[code] != kFree && t.Prefix[code] >= kFirstFree) isPrefix[t.Prefix[code]] = true;
  for (int code = kFirstFree; code < kCodeLimit; ++code)
    if (!isPrefix[code]) t.Prefix[code] = kFree;
  return NextFreeCode(t, kFirstFree);
}

}  // namespace

void TArcUnzipHelper::ExpandShrunk() {
  auto tables = std::make_unique<TShrinkTables>();
  TShrinkTables& t = *tables;
  std::fill(std::begin(t.Prefix), std::end(t.Prefix), kFree);
  std::fill(std::begin(t.Suffix), std::end(t.Suffix), 0);
  for (int code = 0; code < 256; ++code) {
    t.Prefix[code] = 0;
    t.Suffix[code] = static_cast<uint8_t>(code);
  }

  int codeSize = 9;
  int oldCode = static_cast<int>(GetBits(codeSize));
  if (FInEof) return;
  uint8_t lastChar = static_cast<uint8_t>(oldCode);
  PutByte(lastChar);
  int nextFree = kFirstFree;

  while (!FInEof && !Full()) {
    int code = static_cast<int>(GetBits(codeSize));
    while (code == 256 && !FInEof) {
      const uint32_t subCode = GetBits(codeSize);
      if (FInEof) break;
      if (subCode == 1) {
        if (++codeSize > kMaxCodeSize) throw archive::EArcZipCorruptedData("shrink code wider than 13 bits");
      } else if (subCode == 2) {
        nextFree = PartialClear(t);
      }
      code = static_cast<int>(GetBits(codeSize));
    }
    if (FInEof) return;

    const int inCode = code;
    int depth = 0;
    auto push = [&](uint8_t b) {
      if (depth == kTableSize) throw archive::EArcZipCorruptedData("shrink expansion longer than its stack");
      t.Stack[depth++] = b;
    };
    if (t.Prefix[code] == kFree) {
      push(lastChar);
      code = oldCode;
    }
    while (code >= kFirstFree) {
      if (t.Prefix[code] == kFree) {
        push(lastChar);
        code = oldCode;
      } else {
        push(t.Suffix[code]);
        code = t.Prefix[code];
      }
    }
    lastChar = t.Suffix[code];
    if (FOutPos + depth + 1 <= kOutBufSize && Produced() + depth + 1 <= UnCompressedSize) {
      // The whole string fits: straight into the buffer.
      uint8_t* out = FOutBuf.get() + FOutPos;
      *out++ = lastChar;
      for (int i = depth - 1; i >= 0; --i) *out++ = t.Stack[i];
      FOutPos += depth + 1;
      if (FOutPos == kOutBufSize || Full()) FlushOutput();
    } else {
      PutByte(lastChar);
      while (depth > 0 && !Full()) PutByte(t.Stack[--depth]);
    }

    if (nextFree < kCodeLimit) {
      t.Prefix[nextFree] = static_cast<uint16_t>(oldCode);
      t.Suffix[nextFree] = lastChar;
      nextFree = NextFreeCode(t, nextFree + 1);
    }
    oldCode = inCode;
  }
}

}  // namespace qelvo::codecs
