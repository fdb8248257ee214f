#include "archive/errors.h"

#include <algorithm>
#include <iterator>

namespace qelvo::archive {

namespace {

struct TCatalogueEntry {
  int32_t Code;
  const char* Text;
};

// Sorted by code.
constexpr TCatalogueEntry kCatalogue[] = {
    {1, "Cannot extract file - newer version required"},
    {2, "Cannot extract file - unsupported compression method"},
    {3, "Cannot extract file - no extraction support provided"},
    {4, "Cannot extract file - invalid password"},
    {5, "Cannot insert file - no insertion support provided"},
    {6, "Invalid Reduce Factor"},
    {7, "Cannot insert file - duplicates stored name"},
    {8, "Cannot insert file - unsupported compression method"},
    {9, "Process aborted by user"},
    {10, "Archive is busy - cannot process new requests"},
    {11, "Spanned archives must be opened as file streams"},
    {12, "Cannot update an existing spanned disk set"},
    {13, "Cannot make a self-extracting spanned disk set"},
    {14, "Stream write error"},
    {15, "Directory does not exist"},
    {16, "Cannot inflate block"},
    {17, "Invalid Stream"},
    {18, "Error truncating Zip File"},
    {19, "Failed CRC Check"},
    {20, "Stub must be an executable"},
    {21, "File not found"},
    {22, "Invalid Local File Header entry"},
    {23, "Archive does not exist - Filename is blank"},
    {24, "Invalid file - not a PKZip file"},
    {25, "Error reading archive"},
    {26, "Invalid archive item index"},
    {27, "Invalid archive size threshold"},
    {28, "Unhandled Archive Type"},
    {29, "Spanning not supported by this Archive type"},
    {30, "Item path leaves the base folder"},
    {31, "Item name is not valid on Windows"},
    {32, "Items overlap: possible zip bomb"},
    {33, "Central directory does not match its entry count"},
    {40, "BBS: request to read too many bytes [%d]"},
    {41, "BBS: New position is outside the buffer"},
    {42, "BBS: Invalid Origin value"},
    {43, "BBS: request to write too many bytes [%d]"},
    {50, "Cannot load cabinet.dll"},
    {51, "FCI cannot open file"},
    {52, "FCI cannot read file"},
    {53, "FCI cannot write file"},
    {54, "FCI close file error"},
    {55, "FCI file seek error"},
    {56, "FCI file delete error"},
    {57, "FCI cannot add file"},
    {58, "FCI cannot create context"},
    {59, "FCI cannot flush cabinet"},
    {60, "FCI cannot flush folder"},
    {61, "FDI cannot enumerate files"},
    {62, "FDI cannot create context"},
    {63, "Invalid cab file template"},
    {64, "Invalid file - not a cabinet file"},
    {70, "Corrupted compressed data: %s"},
    {80, "TArcSlidingWindowStream.Write: Not at end of stream"},
    {81, "TArcSlidingWindowStream.bsWriteChunk: seek failed"},
    {82, "TArcSlidingWindowStream.bsWriteChunk: write failed"},
    {83, "TArcSlidingWindowStream.Seek: invalid origin"},
    {84, "TArcSlidingWindowStream.Seek: invalid new position"},
    {100, "VMS: request to read too many bytes [%d]"},
    {101, "VMS: invalid origin %d, should be 0, 1, 2"},
    {102, "VMS: Cannot open swap file %s"},
    {103, "VMS: Failed to seek in swap file %s"},
    {104, "VMS: Failed to read %d bytes from swap file %s"},
    {105, "VMS: Failed to write %d bytes to swap file %s"},
    {106, "VMS: request to write too many bytes [%d]"},
    {200, "Invalid Gzip"},
    {201, "Bad CRC"},
    {202, "Bad File Size"},
    {220, "Invalid Tar"},
    {221, "File name too long"},
    {222, "Symbolic link path too long"},
    {223, "Unsupported Operation"},
};

std::string ReplaceFirst(std::string text, const char* placeholder, const std::string& value) {
  const size_t at = text.find(placeholder);
  if (at != std::string::npos) text.replace(at, 2, value);
  return text;
}

}  // namespace

const char* ArcErrorText(int32_t code) {
  const auto* end = std::end(kCatalogue);
  const auto* it = std::lower_bound(std::begin(kCatalogue), end, code,
                                    [](const TCatalogueEntry& e, int32_t c) { return e.Code < c; });
  return (it != end && it->Code == code) ? it->Text : "";
}

int ArcErrorCatalogueSize() { return static_cast<int>(std::size(kCatalogue)); }

int32_t ArcErrorCatalogueCode(int n) {
  return (n >= 0 && n < ArcErrorCatalogueSize()) ? kCatalogue[n].Code : -1;
}

std::string FormatArcText(std::string text, int64_t number) {
  return ReplaceFirst(std::move(text), "%d", std::to_string(number));
}
std::string FormatArcText(std::string text, const std::string& name) {
  return ReplaceFirst(std::move(text), "%s", name);
}
std::string FormatArcText(std::string text, int64_t number, const std::string& name) {
  return FormatArcText(FormatArcText(std::move(text), number), name);
}

namespace {
std::string InnerMessage(const std::exception_ptr& inner) {
  if (!inner) return "";
  try {
    std::rethrow_exception(inner);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "";
  }
}
}  // namespace

EArcBadStream::EArcBadStream(std::exception_ptr inner)
    : EArcException(std::string(ArcErrorText(kArcBadStream)) + "\r\n" + InnerMessage(inner), kArcBadStream),
      FInnerException(std::move(inner)) {}

TArcClassifiedError ClassifyException(const std::exception& e) {
  if (const auto* arc = dynamic_cast<const EArcException*>(&e)) return {ecArchive, arc->ErrorCode};
  if (const auto* io = dynamic_cast<const rtl::EInOutError*>(&e)) return {ecInOutError, io->ErrorCode};
  // The runtime has no component-streaming (filer) errors, so ecFilerError never arises.
  if (dynamic_cast<const rtl::EFOpenError*>(&e)) return {ecFileOpenError, 0};
  if (dynamic_cast<const rtl::EFCreateError*>(&e)) return {ecFileCreateError, 0};
  return {ecOther, 0};
}

TArcClassifiedError ClassifyException(std::exception_ptr e) {
  try {
    if (e) std::rethrow_exception(e);
  } catch (const std::exception& ex) {
    return ClassifyException(ex);
  } catch (...) {
  }
  return {ecOther, 0};
}

const char* ErrorClassName(TArcErrorClass errorClass) {
  switch (errorClass) {
    case ecArchive: return "ecArchive";
    case ecInOutError: return "ecInOutError";
    case ecFilerError: return "ecFilerError";
    case ecFileCreateError: return "ecFileCreateError";
    case ecFileOpenError: return "ecFileOpenError";
    case ecCabError: return "ecCabError";
    case ecOther: return "ecOther";
  }
  return "ecOther";
}

}  // namespace qelvo::archive
