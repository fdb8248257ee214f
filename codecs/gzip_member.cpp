#include "codecs/gzip_member.h"

#include "archive/dos_time.h"
#include "archive/errors.h"
#include "archive/stream_reads.h"
#include "archive/zip_names.h"
#include "codecs/bit_bucket_stream.h"
#include "codecs/inflate.h"
#include "codecs/tar_header.h"
#include "rtl/byte_order.h"
#include "rtl/exceptions.h"

namespace qelvo::codecs {

using namespace archive;

namespace {

// A NUL-terminated string read in pieces; the stream is left just behind the NUL.
std::string ReadZeroTerminated(rtl::TStream& stream) {
  std::string text;
  char piece[1023];
  for (;;) {
    const int64_t n = stream.Read(piece, sizeof piece);
    if (n <= 0) throw rtl::EReadError();
    const std::string_view got(piece, static_cast<size_t>(n));
    const size_t nul = got.find('\0');
    if (nul != std::string_view::npos) {
      text.append(got.substr(0, nul));
      stream.Seek(static_cast<int64_t>(nul) + 1 - n, rtl::soCurrent);
      return text;
    }
    text.append(got);
  }
}

bool ReadFixedHeader(TArcGzHeader& h, rtl::TStream& stream) {
  uint8_t b[10];
  stream.ReadBuffer(b, 10);
  h.ID1 = b[0], h.ID2 = b[1], h.CompMethod = b[2], h.Flags = b[3];
  h.ModTime = rtl::GetLe32(b + 4);
  h.XtraFlags = b[8], h.OS = b[9];
  return h.Valid();
}

}  // namespace

TArcGzFileSystem TArcGzHeader::FileSystem() const {
  if (OS <= 18) return static_cast<TArcGzFileSystem>(OS);
  return OS == 255 ? osUnknown : osUndefined;
}

rtl::TDateTime TArcGzipItem::LastModTimeAsDateTime() const { return UnixTimeToLocal(FGZHeader.ModTime); }

uint16_t TArcGzipItem::LastModFileDate() const { return DateTimeToDosStamp(LastModTimeAsDateTime()).Date; }

uint16_t TArcGzipItem::LastModFileTime() const { return DateTimeToDosStamp(LastModTimeAsDateTime()).Time; }

bool LoadGzHeader(TArcGzipItem& item, rtl::TStream& stream) {
  if (!ReadFixedHeader(item.FGZHeader, stream)) return false;
  const uint8_t flags = item.FGZHeader.Flags;
  item.FExtraField.Clear();
  if (flags & 0x04) {
    uint8_t len[2];
    stream.ReadBuffer(len, 2);
    const int64_t size = rtl::GetLe16(len);
    if (stream.Size() - stream.Position() < size) throw rtl::EReadError();
    item.FExtraField.LoadFromStream(stream, size);
  }
  item.FRawFileName.clear();
  item.FFileComment.clear();
  if (flags & 0x08) item.FRawFileName = ReadZeroTerminated(stream);
  item.SetFileName(item.FRawFileName.empty() && !(flags & 0x08) ? "unknown" : DecodeRawName(item.FRawFileName));
  if (flags & 0x10) item.FFileComment = ReadZeroTerminated(stream);
  if (flags & 0x02) stream.Seek(2, rtl::soCurrent);
  item.SetCompressedSize(stream.Size() - stream.Position() - 8);
  std::string disk = item.FileName();
  for (char& c : disk)
    if (c == '/') c = '\\';
  item.SetDiskFileName(disk);
  item.SetAction(aaNone);
  item.SetTagged(false);
  return true;
}

TArcGzDecodeResult DecodeGzipMembers(rtl::TStream& source, rtl::TStream& dest) {
  TArcGzDecodeResult result;
  const bool testOnly = dynamic_cast<TArcBitBucketStream*>(&dest) != nullptr;
  for (;;) {
    TArcGzipItem header;
    if (!LoadGzHeader(header, source)) {
      if (result.Members == 0) throw EArcGzipInvalid();
      break;
    }
    TArcDeflateHelper helper;
    if (testOnly) helper.Options |= ofTestOnly;
    helper.StreamSize = -1;
    const uint32_t crc = Inflate(&source, &dest, &helper);
    uint8_t tail[8];
    source.ReadBuffer(tail, 8);
    if (crc != rtl::GetLe32(tail)) throw EArcGzipBadCRC();
    if (static_cast<uint32_t>(helper.NormalSize) != rtl::GetLe32(tail + 4)) throw EArcGzipBadFileSize();
    result.NormalSize += helper.NormalSize;
    ++result.Members;
    // Another member follows only when its magic does; anything else is trailing junk.
    uint8_t magic[2];
    const int64_t at = source.Position();
    if (ReadUpTo(source, magic, 2) != 2 || magic[0] != 31 || magic[1] != 139) break;
    source.Seek(at, rtl::soBeginning);
  }
  return result;
}

}  // namespace qelvo::codecs
