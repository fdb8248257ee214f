#pragma once
// TArcArchiveList: the ordered item list of an archive. An owning list (the archive's)
// holds its items through unique_ptr and keeps a 1021-bucket hash of the stored names
// (ELF hash over the upper-cased UTF-16 name) so that name lookups do not walk the whole
// list; a list that does not own its items lists the caller's and searches linearly.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_item.h"

namespace qelvo::archive {

inline constexpr int kArcHashBuckets = 1021;

// The ELF hash of the name upper-cased with full Unicode case mapping, over its UTF-16
// code units.
uint32_t ElfHashOfName(std::string_view name);
// ElfHashOfName mod 1021.
int HashName(std::string_view name);

class TArcArchiveList {
 public:
  explicit TArcArchiveList(bool ownsItems = true);
  ~TArcArchiveList();
  TArcArchiveList(const TArcArchiveList&) = delete;
  TArcArchiveList& operator=(const TArcArchiveList&) = delete;

  // Appends an item the list keeps from now on; returns its index. Owning lists only.
  int Add(std::unique_ptr<TArcArchiveItem> item);
  // Appends an item the caller keeps; returns its index. Lists that do not own items only.
  int Add(TArcArchiveItem* item);
  void Clear();
  void Delete(int index);
  // Index of the first bucket entry whose name equals name ignoring ASCII case; -1.
  int Find(std::string_view name) const;
  // An item of that name exists whose action is not aaDelete.
  bool IsActiveDupe(std::string_view name) const;
  // Raise EListError for an index out of range.
  TArcArchiveItem* Get(int index) const;
  // Replaces the item at index (raising EListError out of range), freeing the old one.
  void Put(int index, std::unique_ptr<TArcArchiveItem> item);
  // Gives a listed item a new stored name and moves it to its new bucket.
  void Rename(TArcArchiveItem* item, const std::string& newName);
  int Count() const { return static_cast<int>(FList.size()); }
  bool OwnsItems() const { return FOwnsItems; }

  TArcArchiveItem* operator[](int index) const { return Get(index); }
  auto begin() const { return FList.begin(); }
  auto end() const { return FList.end(); }

 private:
  void Link(TArcArchiveItem* item);
  void Unlink(TArcArchiveItem* item);
  int IndexOf(const TArcArchiveItem* item) const;
  // Frees the item when this list holds it.
  void Release(const TArcArchiveItem* item);

  std::vector<TArcArchiveItem*> FList;  // in order; the owned ones are also in FOwned
  std::vector<std::unique_ptr<TArcArchiveItem>> FOwned;
  bool FOwnsItems;
  std::array<TArcArchiveItem*, kArcHashBuckets> HashTable{};
};

}  // namespace qelvo::archive
