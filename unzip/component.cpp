#include "unzip/component.h"

#include <algorithm>

namespace qelvo::unzip {

TArcBaseComponent::TArcBaseComponent(TArcBaseComponent* aOwner) : FOwner(aOwner) {
  if (FOwner != nullptr) FOwner->FComponents.emplace_back(this);
}

TArcBaseComponent::~TArcBaseComponent() {
  // Tell everyone who holds a reference to us, and stop them telling us.
  const auto notifies = std::move(FFreeNotifies);
  for (TArcBaseComponent* other : notifies) {
    other->RemoveFreeNotification(this);
    other->Notification(this);
  }
  while (!FComponents.empty()) {
    TArcBaseComponent* child = FComponents.back().release();
    FComponents.pop_back();
    child->FOwner = nullptr;
    delete child;
  }
  if (FOwner != nullptr) {
    auto& siblings = FOwner->FComponents;
    auto it = std::find_if(siblings.begin(), siblings.end(), [this](const auto& p) { return p.get() == this; });
    if (it != siblings.end()) {
      it->release();  // already being destroyed
      siblings.erase(it);
    }
  }
}

void TArcBaseComponent::FreeNotification(TArcBaseComponent* other) {
  if (other == nullptr || other == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), other) == FFreeNotifies.end()) FFreeNotifies.push_back(other);
  if (std::find(other->FFreeNotifies.begin(), other->FFreeNotifies.end(), this) == other->FFreeNotifies.end())
    other->FFreeNotifies.push_back(this);
}

void TArcBaseComponent::RemoveFreeNotification(TArcBaseComponent* other) {
  std::erase(FFreeNotifies, other);
  if (other != nullptr) std::erase(other->FFreeNotifies, this);
}

}  // namespace qelvo::unzip
