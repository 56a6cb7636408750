#pragma once
// A collection of named items, addressed by index, with a 256-bucket index of their names.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace media {

class THashCollection;

class THashCollectionItem {
 public:
  explicit THashCollectionItem(THashCollection* Collection);
  virtual ~THashCollectionItem();
  THashCollectionItem(const THashCollectionItem&) = delete;
  THashCollectionItem& operator=(const THashCollectionItem&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& value);  // CP932
  // The item's position in its collection.
  int Index() const { return index_; }
  void SetIndex(int value);
  THashCollection* Collection() const { return collection_; }

 private:
  friend class THashCollection;
  void AddHash();
  void DeleteHash();

  THashCollection* collection_;
  std::string name_;
  int index_ = -1;
  std::uint8_t hash_ = 0;
  THashCollectionItem* left_ = nullptr;   // previous item of the same bucket
  THashCollectionItem* right_ = nullptr;  // next item of the same bucket
};

class THashCollection {
 public:
  THashCollection() = default;
  virtual ~THashCollection();
  THashCollection(const THashCollection&) = delete;
  THashCollection& operator=(const THashCollection&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  // The item at a position; a position outside 0 to Count - 1 raises the list index error.
  THashCollectionItem* GetItem(int index) const;
  // The index of the first item of that name (compared without regard to case), or -1.
  int IndexOf(const std::string& name) const;
  void Clear();
  void Delete(int index);

  // Hash of a name: its lower-case form of length L gives (L * 16 + (for L >= 2: byte L - 2 +
  // byte 0)) mod 256.
  static std::uint8_t HashOf(const std::string& name);

 protected:
  // Takes ownership of an item made for this collection (called by the item's constructor).
  void Insert(THashCollectionItem* item);

 private:
  friend class THashCollectionItem;
  void Remove(THashCollectionItem* item);
  void Reindex(int from);

  std::vector<THashCollectionItem*> items_;  // owned
  THashCollectionItem* buckets_[256] = {};
};

}  // namespace media
