#pragma once
// Components: objects placed on a form, owned by it, built from its stored description and told
// when loading has finished. Events are callables that an owner assigns; an empty one is skipped.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

class TObject {
 public:
  virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

enum TComponentStateFlag : unsigned {
  csLoading = 1,
  csDesigning = 2,
  csDestroying = 4,
};

enum class TOperation { opInsert, opRemove };

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::vector<TComponent*>& Components() const { return components_; }
  unsigned ComponentState() const { return state_; }

  std::string Name;

  // Loading: the owner marks its components loading while it applies their stored properties,
  // then calls Loaded on each, in creation order.
  void BeginLoading();
  virtual void Loaded();

  // Told when a component of the same owner (or one registered with FreeNotification) is
  // inserted or removed.
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  void FreeNotification(TComponent* AComponent);

  // Runs before the destructor, while the whole object still exists (derived classes act on
  // their own state here, as forms fire OnDestroy).
  virtual void BeforeDestruction();
  // Destroys the owned components, last created first.
  void DestroyComponents();

 private:
  void RemoveFromOwner();

  TComponent* owner_;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> free_notifies_;
  unsigned state_ = 0;
};

// Destroys a component the proper way: BeforeDestruction, then delete.
void Free(TComponent* component);

// A binary property of a stored form description, written as hexadecimal text (two digits a
// byte, upper or lower case). Raises Exception on an odd length or a character that is not a
// hexadecimal digit.
std::vector<std::uint8_t> HexToBytes(std::string_view hex);

}  // namespace app
