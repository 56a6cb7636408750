#include "media/hash_collection.h"

#include <algorithm>
#include <cctype>

#include "app/sysutils.h"

namespace media {

namespace {

// Lower-cases ASCII letters and leaves the second bytes of double-byte CP932 characters alone.
std::string LowerName(const std::string& s) {
  std::string out = s;
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
      ++i;
      continue;
    }
    if (c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace

THashCollectionItem::THashCollectionItem(THashCollection* Collection) : collection_(Collection) {
  if (collection_) {
    collection_->Insert(this);
    AddHash();
  }
}

THashCollectionItem::~THashCollectionItem() {
  if (collection_) {
    DeleteHash();
    collection_->Remove(this);
  }
}

void THashCollectionItem::SetName(const std::string& value) {
  if (collection_) DeleteHash();
  name_ = value;
  if (collection_) AddHash();
}

void THashCollectionItem::SetIndex(int value) {
  if (!collection_) return;
  auto& items = collection_->items_;
  value = std::clamp(value, 0, static_cast<int>(items.size()) - 1);
  if (value == index_) return;
  items.erase(items.begin() + index_);
  items.insert(items.begin() + value, this);
  collection_->Reindex(0);
}

void THashCollectionItem::AddHash() {
  hash_ = THashCollection::HashOf(name_);
  THashCollectionItem*& head = collection_->buckets_[hash_];
  left_ = nullptr;
  right_ = head;
  if (head) head->left_ = this;
  head = this;
}

void THashCollectionItem::DeleteHash() {
  if (left_)
    left_->right_ = right_;
  else if (collection_->buckets_[hash_] == this)
    collection_->buckets_[hash_] = right_;
  if (right_) right_->left_ = left_;
  left_ = right_ = nullptr;
}

THashCollection::~THashCollection() { Clear(); }

THashCollectionItem* THashCollection::GetItem(int index) const {
  if (index < 0 || index >= Count()) app::ThrowListIndexError(index);
  return items_[static_cast<std::size_t>(index)];
}

int THashCollection::IndexOf(const std::string& name) const {
  const std::string lower = LowerName(name);
  int found = -1;
  for (THashCollectionItem* item = buckets_[HashOf(name)]; item; item = item->right_)
    if (LowerName(item->Name()) == lower && (found < 0 || item->Index() < found)) found = item->Index();
  return found;
}

void THashCollection::Clear() {
  while (!items_.empty()) delete items_.back();
}

void THashCollection::Delete(int index) { delete GetItem(index); }

std::uint8_t THashCollection::HashOf(const std::string& name) {
  const std::string lower = LowerName(name);
  std::size_t len = lower.size();
  unsigned h = static_cast<unsigned>(len * 16);
  if (len >= 2)
    h += static_cast<unsigned char>(lower[len - 2]) + static_cast<unsigned char>(lower[0]);
  return static_cast<std::uint8_t>(h & 0xFF);
}

void THashCollection::Insert(THashCollectionItem* item) {
  item->index_ = Count();
  items_.push_back(item);
}

void THashCollection::Remove(THashCollectionItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end()) return;
  int from = static_cast<int>(it - items_.begin());
  items_.erase(it);
  Reindex(from);
}

void THashCollection::Reindex(int from) {
  for (int i = from; i < Count(); ++i) items_[static_cast<std::size_t>(i)]->index_ = i;
}

}  // namespace media
