#include "archive/extra_field.h"

#include <cstring>

#include "rtl/byte_order.h"
#include "rtl/exceptions.h"

namespace qelvo::archive {

template <class Visit>
bool TArcExtraField::Walk(Visit&& visit) {
  size_t pos = 0;
  while (FBuffer.size() - pos >= 4) {
    const uint16_t id = rtl::GetLe16(&FBuffer[pos]);
    uint16_t size = rtl::GetLe16(&FBuffer[pos + 2]);
    const size_t remain = FBuffer.size() - pos - 4;
    if (size > remain) {
      size = static_cast<uint16_t>(remain);
      rtl::PutLe16(&FBuffer[pos + 2], size);
    }
    if (visit(TSubField{pos, id, size})) return true;
    pos += 4 + size_t{size};
  }
  return false;
}

bool TArcExtraField::FindSubField(uint16_t id, TSubField& found) {
  return Walk([&](const TSubField& f) {
    if (f.ID != id) return false;
    found = f;
    return true;
  });
}

void TArcExtraField::LoadFromStream(rtl::TStream& stream, int64_t size) {
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (size > 0) stream.ReadBuffer(bytes.data(), size);
  FBuffer = std::move(bytes);
  Changed();
}

bool TArcExtraField::Get(uint16_t id, const uint8_t*& data, uint16_t& size) {
  TSubField f{};
  if (!FindSubField(id, f)) return false;
  data = FBuffer.data() + f.Head + 4;
  size = f.Size;
  return true;
}

bool TArcExtraField::Get(uint16_t id, std::string_view& data) {
  const uint8_t* p = nullptr;
  uint16_t size = 0;
  if (!Get(id, p, size)) return false;
  data = std::string_view(reinterpret_cast<const char*>(p), size);
  return true;
}

bool TArcExtraField::GetStream(uint16_t id, std::unique_ptr<rtl::TMemoryStream>& stream) {
  const uint8_t* p = nullptr;
  uint16_t size = 0;
  if (!Get(id, p, size)) return false;
  auto s = std::make_unique<rtl::TMemoryStream>();
  s->WriteBuffer(p, size);
  s->SetPosition(0);
  stream = std::move(s);
  return true;
}

bool TArcExtraField::Has(uint16_t id) {
  TSubField f{};
  return FindSubField(id, f);
}

void TArcExtraField::Put(uint16_t id, const void* data, uint16_t size) {
  TSubField f{};
  if (FindSubField(id, f) && f.Size == size) {
    if (size > 0) std::memmove(&FBuffer[f.Head + 4], data, size);
  } else {
    // Copy first: data may point into this buffer.
    const auto* p = static_cast<const uint8_t*>(data);
    const std::vector<uint8_t> copy(p, p + size);
    Delete(id);
    const size_t at = FBuffer.size();
    FBuffer.resize(at + 4 + size);
    rtl::PutLe16(&FBuffer[at], id);
    rtl::PutLe16(&FBuffer[at + 2], size);
    if (size > 0) std::memcpy(&FBuffer[at + 4], copy.data(), size);
  }
  Changed();
}

void TArcExtraField::Delete(uint16_t id) {
  TSubField f{};
  if (!FindSubField(id, f)) return;
  FBuffer.erase(FBuffer.begin() + static_cast<std::ptrdiff_t>(f.Head),
                FBuffer.begin() + static_cast<std::ptrdiff_t>(f.Head + 4 + f.Size));
  Changed();
}

void TArcExtraField::Clear() {
  FBuffer.clear();
  Changed();
}

void TArcExtraField::CloneFrom(TArcExtraField& source, uint16_t id) {
  const uint8_t* p = nullptr;
  uint16_t size = 0;
  if (source.Get(id, p, size)) {
    Put(id, p, size);
  } else {
    Delete(id);
  }
}

void TArcExtraField::Assign(const TArcExtraField& source) {
  if (&source == this) return;
  FBuffer = source.FBuffer;
  Changed();
}

int TArcExtraField::Count() {
  int n = 0;
  Walk([&](const TSubField&) {
    ++n;
    return false;
  });
  return n;
}

void TArcExtraField::SetBuffer(std::vector<uint8_t> bytes) {
  FBuffer = std::move(bytes);
  Changed();
}

uint16_t TArcExtraField::GetID(int index) {
  int n = 0;
  uint16_t id = 0;
  if (index < 0 || !Walk([&](const TSubField& f) {
        if (n++ != index) return false;
        id = f.ID;
        return true;
      }))
    throw rtl::EListError(index);
  return id;
}

}  // namespace qelvo::archive
