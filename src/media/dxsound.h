#pragma once
// Sound output and the wave list.
//
// This first version has no sound device: `Initialized` stays false, so the game runs silently.
// The full sound output replaces it.
#include <string>
#include <vector>

#include "app/classes.h"

namespace media {

class TDXSound : public app::TComponent {
 public:
  using app::TComponent::TComponent;
  bool AutoInitialize = true;
  bool Initialized() const { return false; }
};

class TWaveCollectionItem {
 public:
  explicit TWaveCollectionItem(std::string name) : Name(std::move(name)) {}
  std::string Name;
  void Play(bool /*Wait*/) {}
};

class TDXWaveList : public app::TComponent {
 public:
  using app::TComponent::TComponent;
  TDXSound* DXSound = nullptr;
  std::vector<TWaveCollectionItem> Items;
};

}  // namespace media
