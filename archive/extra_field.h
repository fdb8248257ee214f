#pragma once
// TArcExtraField: the raw extra-field bytes of a ZIP header, a run of sub-fields
// (16-bit ID, 16-bit size, data). Walking clamps a sub-field that claims more bytes than
// remain: its size word is rewritten to what is actually there, so every later lookup
// stays inside the buffer.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/stream.h"

namespace qelvo::archive {

inline constexpr uint16_t kZip64ExtraFieldID = 0x0001;
inline constexpr uint16_t kUnicodePathExtraFieldID = 0x7075;
inline constexpr uint16_t kNucxNameExtraFieldID = 0x554E;

class TArcExtraField {
 public:
  TArcExtraField() = default;
  virtual ~TArcExtraField() = default;
  TArcExtraField(const TArcExtraField&) = delete;
  TArcExtraField& operator=(const TArcExtraField&) = delete;

  // Reads exactly size bytes (EReadError when fewer are there).
  void LoadFromStream(rtl::TStream& stream, int64_t size);
  // The data of the first sub-field with the ID (a view into the buffer, valid until
  // the next change).
  bool Get(uint16_t id, const uint8_t*& data, uint16_t& size);
  bool Get(uint16_t id, std::string_view& data);
  // A new memory stream holding a copy of the data, positioned at 0.
  bool GetStream(uint16_t id, std::unique_ptr<rtl::TMemoryStream>& stream);
  bool Has(uint16_t id);
  void Put(uint16_t id, const void* data, uint16_t size);
  void Delete(uint16_t id);
  void Clear();
  // Copies one sub-field from source, or deletes it here when source has none.
  void CloneFrom(TArcExtraField& source, uint16_t id);
  void Assign(const TArcExtraField& source);
  // Number of sub-fields.
  int Count();
  const std::vector<uint8_t>& Buffer() const { return FBuffer; }
  void SetBuffer(std::vector<uint8_t> bytes);
  // ID of the sub-field at index; EListError beyond the last one.
  uint16_t GetID(int index);

 protected:
  // Called after every modification.
  virtual void Changed() {}

 private:
  struct TSubField {
    size_t Head;  // offset of the 4-byte head in FBuffer
    uint16_t ID;
    uint16_t Size;
  };
  // Visits sub-fields in order, clamping oversized ones; stops when visit returns true.
  template <class Visit>
  bool Walk(Visit&& visit);
  bool FindSubField(uint16_t id, TSubField& found);

  std::vector<uint8_t> FBuffer;
};

}  // namespace qelvo::archive
