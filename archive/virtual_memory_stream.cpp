#include "archive/virtual_memory_stream.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "archive/errors.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"

namespace qelvo::archive {

namespace {
constexpr int64_t kPage = TArcVirtualMemoryStream::kPageSize;
int64_t PageStart(int64_t offset) { return offset - offset % kPage; }
}  // namespace

TArcVirtualMemoryStream::TArcVirtualMemoryStream() {
  vmsPageList.push_back(std::make_unique<TPage>());
  SetMaxMemToUse(8388608);
}

TArcVirtualMemoryStream::~TArcVirtualMemoryStream() { CloseSwapFile(); }

void TArcVirtualMemoryStream::CloseSwapFile() {
  vmsSwapStream.reset();
  if (!vmsSwapFileName.empty()) platform::DeleteFile(vmsSwapFileName);
  vmsSwapFileName.clear();
  vmsSwapFileSize = 0;
}

void TArcVirtualMemoryStream::SetMaxMemToUse(uint32_t value) {
  const uint64_t pages = value == 0 ? 1 : (uint64_t{value} + kPage - 1) / kPage;
  vmsMaxPages = static_cast<uint32_t>(std::min<uint64_t>(pages, kMaxPages));
  while (vmsPageList.size() > vmsMaxPages) Evict();
  vmsMaxMemToUse = vmsMaxPages * static_cast<uint32_t>(kPage);
}

void TArcVirtualMemoryStream::Stamp(TPage& page) {
  if (vmsLRU >= static_cast<uint32_t>(INT32_MAX)) {
    for (auto& p : vmsPageList) p->LastUse = 0;
    vmsLRU = 0;
  }
  page.LastUse = ++vmsLRU;
}

TArcVirtualMemoryStream::TPageList::iterator TArcVirtualMemoryStream::LeastRecentlyUsed() {
  return std::min_element(vmsPageList.begin(), vmsPageList.end(),
                          [](const auto& a, const auto& b) { return a->LastUse < b->LastUse; });
}

std::unique_ptr<TArcVirtualMemoryStream::TPage> TArcVirtualMemoryStream::Evict() {
  auto victim = LeastRecentlyUsed();
  // Written out before it leaves the list: a failed write keeps the page and its data.
  if ((*victim)->Dirty) WriteOut(**victim);
  std::unique_ptr<TPage> page = std::move(*victim);
  vmsPageList.erase(victim);
  if (vmsCachePage == page.get()) vmsCachePage = nullptr;
  return page;
}

TArcVirtualMemoryStream::TPage& TArcVirtualMemoryStream::PageAt(int64_t offset) {
  if (vmsCachePage != nullptr && vmsCachePage->Offset == offset) {
    Stamp(*vmsCachePage);
    return *vmsCachePage;
  }
  auto at = std::lower_bound(vmsPageList.begin(), vmsPageList.end(), offset,
                             [](const auto& p, int64_t o) { return p->Offset < o; });
  if (at != vmsPageList.end() && (*at)->Offset == offset) {
    vmsCachePage = at->get();
    Stamp(*vmsCachePage);
    return *vmsCachePage;
  }
  std::unique_ptr<TPage> page = vmsPageList.size() < vmsMaxPages ? std::make_unique<TPage>() : Evict();
  page->Offset = offset;
  page->Dirty = false;
  if (offset < vmsSwapFileSize) {
    FillFromSwap(*page);  // on failure the page is dropped, the list stays as it was
  } else {
    page->Data.fill(0);
  }
  at = std::lower_bound(vmsPageList.begin(), vmsPageList.end(), offset,
                        [](const auto& p, int64_t o) { return p->Offset < o; });
  vmsCachePage = page.get();
  vmsPageList.insert(at, std::move(page));
  Stamp(*vmsCachePage);
  return *vmsCachePage;
}

void TArcVirtualMemoryStream::OpenSwapFile() {
  const std::string dir =
      !vmsSwapFileDir.empty() && platform::DirectoryExists(vmsSwapFileDir) ? vmsSwapFileDir : platform::GetTempPath();
  const std::string name = platform::GetTempFileName(dir, "VMS");
  if (name.empty()) throw EArcVMSErrorOpenSwap(dir);
  try {
    vmsSwapStream = CreateSwapStream(name);
  } catch (const std::exception&) {
    platform::DeleteFile(name);
    throw EArcVMSErrorOpenSwap(name);
  }
  vmsSwapFileName = name;
  vmsSwapFileSize = 0;
}

std::unique_ptr<rtl::TStream> TArcVirtualMemoryStream::CreateSwapStream(const std::string& fileName) {
  return std::make_unique<platform::TFileStream>(fileName, platform::fmCreate | platform::fmShareExclusive);
}

void TArcVirtualMemoryStream::SeekSwap(int64_t offset) {
  bool placed = false;
  try {
    placed = vmsSwapStream->Seek(offset, rtl::soBeginning) == offset;
  } catch (const std::exception&) {
  }
  if (!placed) throw EArcVMSSeekFail(vmsSwapFileName);
}

void TArcVirtualMemoryStream::WriteOut(TPage& page) {
  if (!vmsSwapStream) OpenSwapFile();
  SeekSwap(page.Offset);
  int64_t written = 0;
  try {
    written = vmsSwapStream->Write(page.Data.data(), kPage);
  } catch (const std::exception&) {
  }
  if (written != kPage) throw EArcVMSWriteFail(kPage, vmsSwapFileName);
  page.Dirty = false;
  vmsSwapFileSize = std::max(vmsSwapFileSize, page.Offset + kPage);
}

void TArcVirtualMemoryStream::FillFromSwap(TPage& page) {
  SeekSwap(page.Offset);
  int64_t got = 0;
  try {
    while (got < kPage) {
      const int64_t n = vmsSwapStream->Read(page.Data.data() + got, kPage - got);
      if (n <= 0) break;
      got += n;
    }
  } catch (const std::exception&) {
  }
  if (got != kPage) throw EArcVMSReadFail(kPage, vmsSwapFileName);
}

int64_t TArcVirtualMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || vmsPosition >= vmsSize) return 0;
  count = std::min(count, vmsSize - vmsPosition);
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t at = vmsPosition % kPage;
    const int64_t n = std::min(count - done, kPage - at);
    TPage& page = PageAt(vmsPosition - at);
    std::memcpy(out + done, page.Data.data() + at, static_cast<size_t>(n));
    done += n;
    vmsPosition += n;
  }
  return done;
}

int64_t TArcVirtualMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0 || count > INT64_MAX - kPage - vmsPosition) return 0;
  const auto* in = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t at = vmsPosition % kPage;
    const int64_t n = std::min(count - done, kPage - at);
    TPage& page = PageAt(vmsPosition - at);
    std::memcpy(page.Data.data() + at, in + done, static_cast<size_t>(n));
    page.Dirty = true;
    done += n;
    vmsPosition += n;
    vmsSize = std::max(vmsSize, vmsPosition);
  }
  return done;
}

int64_t TArcVirtualMemoryStream::Seek(int64_t offset, rtl::TSeekOrigin origin) {
  int64_t base = 0;
  switch (origin) {
    case rtl::soBeginning: base = 0; break;
    case rtl::soCurrent: base = vmsPosition; break;
    case rtl::soEnd: base = vmsSize; break;
    default: throw EArcVMSInvalidOrigin(static_cast<int64_t>(origin));
  }
  if (offset < -base || (offset > 0 && base > INT64_MAX - offset)) throw rtl::EStreamError("Invalid stream seek");
  vmsPosition = base + offset;
  return vmsPosition;
}

void TArcVirtualMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) throw rtl::EStreamError("Invalid stream size");
  if (newSize < vmsSize) {
    // What can fail comes first, so that a failure leaves the stream as it was: loading
    // the page the new end falls in, and cutting the swap file (pages beyond the end
    // must read as zeros when the stream grows again).
    TPage* last = newSize % kPage != 0 ? &PageAt(PageStart(newSize)) : nullptr;
    const int64_t keep = (newSize + kPage - 1) / kPage * kPage;
    if (vmsSwapStream && vmsSwapFileSize > keep) {
      try {
        vmsSwapStream->SetSize(keep);
      } catch (const std::exception&) {
        throw EArcVMSWriteFail(kPage, vmsSwapFileName);
      }
      vmsSwapFileSize = keep;
    }
    if (last != nullptr) {
      std::memset(last->Data.data() + newSize % kPage, 0, static_cast<size_t>(kPage - newSize % kPage));
      last->Dirty = true;
    }
    std::erase_if(vmsPageList, [&](const auto& p) { return p->Offset >= newSize && p->Offset != 0; });
    vmsCachePage = nullptr;
    // The first page stays even for an empty stream, as zeros.
    if (newSize == 0 && !vmsPageList.empty() && vmsPageList.front()->Offset == 0) {
      vmsPageList.front()->Data.fill(0);
      vmsPageList.front()->Dirty = false;
    }
  }
  vmsSize = newSize;
  vmsPosition = std::min(vmsPosition, vmsSize);
}

}  // namespace qelvo::archive
