#include "engine/Component.h"

#include <algorithm>

namespace trawlix {

TComponent::TComponent(TComponent* Owner) : owner_(Owner) {
  if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
  destroying_ = true;
  // Free owned components, last first; each removes itself from the list.
  while (!components_.empty()) delete components_.back();
  if (owner_) std::erase(owner_->components_, this);
}

}  // namespace trawlix
