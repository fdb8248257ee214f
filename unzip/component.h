#pragma once
// TArcBaseComponent: the small component framework the unzip component lives in. A
// component has a name and an optional owner; the owner frees the components it owns
// when it goes. A component can ask to be told when another one is destroyed, so that
// it never keeps a reference to a component that no longer exists.
#include <memory>
#include <string>
#include <vector>

namespace qelvo::unzip {

class TArcBaseComponent {
 public:
  // With an owner, the owner frees this component; without one, the creator does.
  explicit TArcBaseComponent(TArcBaseComponent* aOwner);
  virtual ~TArcBaseComponent();
  TArcBaseComponent(const TArcBaseComponent&) = delete;
  TArcBaseComponent& operator=(const TArcBaseComponent&) = delete;

  TArcBaseComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  std::string Name;

  // Calls other's Notification (and this one's, for other) when either is destroyed.
  void FreeNotification(TArcBaseComponent* other);
  void RemoveFreeNotification(TArcBaseComponent* other);
  // Called once after the component's stored properties have been assigned.
  virtual void Loaded() {}

 protected:
  // aComponent is being destroyed.
  virtual void Notification(TArcBaseComponent* /*aComponent*/) {}

 private:
  // Drops a child that is being destroyed from FComponents without freeing it again.
  void Detach(TArcBaseComponent* child);

  TArcBaseComponent* FOwner;
  std::vector<std::unique_ptr<TArcBaseComponent>> FComponents;
  std::vector<TArcBaseComponent*> FFreeNotifies;
};

}  // namespace qelvo::unzip
