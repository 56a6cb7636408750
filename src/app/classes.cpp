#include "app/classes.h"

#include <algorithm>

#include "app/sysutils.h"

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

std::vector<std::uint8_t> HexToBytes(std::string_view hex) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  if (hex.size() % 2 != 0) throw Exception("Invalid binary value: odd number of digits");
  std::vector<std::uint8_t> out;
  out.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int hi = digit(hex[i]), lo = digit(hex[i + 1]);
    if (hi < 0 || lo < 0) throw Exception("Invalid binary value");
    out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
  }
  return out;
}

}  // namespace app
