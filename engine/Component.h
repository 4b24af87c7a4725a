// A minimal component base: an owner that frees its components with itself,
// a name, and a state that tells when the component is being destroyed.
#pragma once

#include <string>
#include <vector>

namespace trawlix {

class TComponent {
 public:
  explicit TComponent(TComponent* Owner = nullptr);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& v) { name_ = v; }
  // True once destruction has begun.
  bool Destroying() const { return destroying_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }

 protected:
  // Marks the component as being destroyed; derived destructors call it
  // first so that nothing they trigger raises events any more.
  void BeginDestruction() { destroying_ = true; }

 private:
  TComponent* owner_;
  std::string name_;
  bool destroying_ = false;
  std::vector<TComponent*> components_;
};

}  // namespace trawlix
