#include "app/classes.h"

#include <algorithm>

namespace app {

TComponent::TComponent(TComponent* AOwner) : owner_(AOwner) {
  if (owner_) {
    owner_->components_.push_back(this);
    for (TComponent* c : owner_->components_)
      if (c != this) c->Notification(this, TOperation::opInsert);
  }
}

TComponent::~TComponent() {
  state_ |= csDestroying;
  DestroyComponents();
  for (TComponent* c : free_notifies_) {
    auto& theirs = c->free_notifies_;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
    c->Notification(this, TOperation::opRemove);
  }
  RemoveFromOwner();
}

void TComponent::RemoveFromOwner() {
  if (!owner_) return;
  auto& list = owner_->components_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  for (TComponent* c : list) c->Notification(this, TOperation::opRemove);
  owner_->Notification(this, TOperation::opRemove);
  owner_ = nullptr;
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) Free(components_.back());
}

void TComponent::BeginLoading() { state_ |= csLoading; }

void TComponent::Loaded() { state_ &= ~csLoading; }

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (std::find(free_notifies_.begin(), free_notifies_.end(), AComponent) == free_notifies_.end()) {
    free_notifies_.push_back(AComponent);
    AComponent->free_notifies_.push_back(this);
  }
}

void TComponent::BeforeDestruction() { state_ |= csDestroying; }

void Free(TComponent* component) {
  if (!component) return;
  component->BeforeDestruction();
  delete component;
}

}  // namespace app
