#include "archive/archive_list.h"

#include <algorithm>
#include <utility>

#include "platform/code_page.h"
#include "rtl/exceptions.h"
#include "rtl/text.h"

namespace qelvo::archive {

uint32_t ElfHashOfName(std::string_view name) {
  uint32_t h = 0;
  for (char16_t c : rtl::Utf8ToUtf16(platform::UpperCaseUnicode(name))) {
    h = (h << 4) + c;
    const uint32_t g = h & 0xF0000000u;
    if (g != 0) h ^= g >> 24;
    h &= ~g;
  }
  return h;
}

int HashName(std::string_view name) { return static_cast<int>(ElfHashOfName(name) % kArcHashBuckets); }

TArcArchiveList::TArcArchiveList(bool ownsItems) : FOwnsItems(ownsItems) {}

TArcArchiveList::~TArcArchiveList() { Clear(); }

void TArcArchiveList::Link(TArcArchiveItem* item) {
  if (!FOwnsItems) return;
  TArcArchiveItem*& head = HashTable[HashName(item->FileName())];
  item->NextItem = head;
  head = item;
}

void TArcArchiveList::Unlink(TArcArchiveItem* item) {
  if (!FOwnsItems) return;
  for (TArcArchiveItem** link = &HashTable[HashName(item->FileName())]; *link; link = &(*link)->NextItem) {
    if (*link == item) {
      *link = item->NextItem;
      item->NextItem = nullptr;
      return;
    }
  }
}

int TArcArchiveList::IndexOf(const TArcArchiveItem* item) const {
  const auto it = std::find(FList.begin(), FList.end(), item);
  return it == FList.end() ? -1 : static_cast<int>(it - FList.begin());
}

void TArcArchiveList::Release(const TArcArchiveItem* item) {
  const auto it = std::find_if(FOwned.begin(), FOwned.end(), [item](const auto& p) { return p.get() == item; });
  if (it != FOwned.end()) FOwned.erase(it);
}

int TArcArchiveList::Add(std::unique_ptr<TArcArchiveItem> item) {
  if (!FOwnsItems) throw rtl::Exception("This item list does not own its items");
  FList.push_back(item.get());
  Link(item.get());
  FOwned.push_back(std::move(item));
  return Count() - 1;
}

int TArcArchiveList::Add(TArcArchiveItem* item) {
  if (FOwnsItems) throw rtl::Exception("This item list owns its items");
  FList.push_back(item);
  return Count() - 1;
}

void TArcArchiveList::Clear() {
  FList.clear();
  FOwned.clear();
  HashTable.fill(nullptr);
}

void TArcArchiveList::Delete(int index) {
  TArcArchiveItem* item = Get(index);
  Unlink(item);
  FList.erase(FList.begin() + index);
  Release(item);
}

int TArcArchiveList::Find(std::string_view name) const {
  if (!FOwnsItems) {
    for (int i = 0; i < Count(); ++i)
      if (rtl::SameTextAscii(FList[i]->FileName(), name)) return i;
    return -1;
  }
  for (TArcArchiveItem* item = HashTable[HashName(name)]; item; item = item->NextItem)
    if (rtl::SameTextAscii(item->FileName(), name)) return IndexOf(item);
  return -1;
}

bool TArcArchiveList::IsActiveDupe(std::string_view name) const {
  if (!FOwnsItems) {
    for (TArcArchiveItem* item : FList)
      if (item->Action() != aaDelete && rtl::SameTextAscii(item->FileName(), name)) return true;
    return false;
  }
  for (TArcArchiveItem* item = HashTable[HashName(name)]; item; item = item->NextItem)
    if (item->Action() != aaDelete && rtl::SameTextAscii(item->FileName(), name)) return true;
  return false;
}

TArcArchiveItem* TArcArchiveList::Get(int index) const {
  if (index < 0 || index >= Count()) throw rtl::EListError(index);
  return FList[index];
}

void TArcArchiveList::Put(int index, std::unique_ptr<TArcArchiveItem> item) {
  TArcArchiveItem* old = Get(index);
  if (!FOwnsItems) throw rtl::Exception("This item list does not own its items");
  Unlink(old);
  Release(old);
  FList[index] = item.get();
  Link(item.get());
  FOwned.push_back(std::move(item));
}

void TArcArchiveList::Rename(TArcArchiveItem* item, const std::string& newName) {
  Unlink(item);
  item->SetFileName(newName);
  Link(item);
}

}  // namespace qelvo::archive
