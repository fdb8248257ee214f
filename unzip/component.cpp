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
  // Children go newest first; each leaves the list before it is freed, so it finds
  // nothing to detach from.
  while (!FComponents.empty()) {
    const std::unique_ptr<TArcBaseComponent> child = std::move(FComponents.back());
    FComponents.pop_back();
    child->FOwner = nullptr;
  }
  if (FOwner != nullptr) FOwner->Detach(this);
}

void TArcBaseComponent::Detach(TArcBaseComponent* child) {
  const auto it =
      std::find_if(FComponents.begin(), FComponents.end(), [child](const auto& p) { return p.get() == child; });
  if (it == FComponents.end()) return;
  // The child is being destroyed by someone else (its destructor called this): the
  // list gives up its pointer instead of freeing it a second time.
  (void)it->release();
  FComponents.erase(it);
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
