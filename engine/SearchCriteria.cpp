#include "engine/SearchCriteria.h"

#include <cmath>

#include "platform/Errors.h"

namespace trawlix {

void TPersistent::Assign(const TPersistent* Source) { AssignError(Source); }

void TPersistent::AssignError(const TPersistent* Source) const {
  const std::string source = Source ? Source->ClassName() : "nil";
  throw EConvertError(source + " kann nicht zu " + ClassName() + " zugewiesen werden");
}

// TFileCriteria

void TFileCriteria::Assign(const TPersistent* Source) {
  const auto* s = dynamic_cast<const TFileCriteria*>(Source);
  if (!s) AssignError(Source);
  if (s == this) return;
  fileName_ = s->fileName_;
  location_ = s->location_;
  included_ = s->included_;
  excluded_ = s->excluded_;
  subfolders_ = s->subfolders_;
  minLevel_ = s->minLevel_;
  maxLevel_ = s->maxLevel_;
  exactFolders_ = s->exactFolders_;
  exactNames_ = s->exactNames_;
}

// TAttributeCriteria

namespace {
constexpr uint32_t kAttrBitOf[5] = {0x20, 0x01, 0x02, 0x04, 0x10};  // by TFileAttribute
}

TFileAttributes TAttributeCriteria::Attributes() const {
  TFileAttributes result;
  for (int a = ffArchive; a <= ffDirectory; ++a)
    if (allowedAttr_ & kAttrBitOf[a]) result.Include(static_cast<TFileAttribute>(a));
  return result;
}

void TAttributeCriteria::SetAttributes(TFileAttributes v) {
  allowedAttr_ &= ~0x37u;
  for (int a = ffArchive; a <= ffDirectory; ++a)
    if (v.Contains(static_cast<TFileAttribute>(a))) allowedAttr_ |= kAttrBitOf[a];
}

bool TAttributeCriteria::Matches(uint32_t Attr) const {
  const uint32_t m = Attr & 0x37;
  return exactMatch_ ? m == allowedAttr_ : (m & ~allowedAttr_) == 0;
}

void TAttributeCriteria::Assign(const TPersistent* Source) {
  const auto* s = dynamic_cast<const TAttributeCriteria*>(Source);
  if (!s) AssignError(Source);
  allowedAttr_ = s->allowedAttr_;
  exactMatch_ = s->exactMatch_;
}

// TAttributeCriteriaEx

namespace {
constexpr uint32_t kExBitOf[12] = {0,     0x20,   0x01,   0x02,  0x04,  0x10,
                                   0x800, 0x4000, 0x1000, 0x400, 0x200, 0x100};
}

TFileAttributeStatus TAttributeCriteriaEx::GetAttributeStatus(int Index) const {
  if (Index < 1 || Index > 11) return fsIgnore;
  const uint32_t bit = kExBitOf[Index];
  if (setMask_ & bit) return fsSet;
  if (unsetMask_ & bit) return fsUnset;
  return fsIgnore;
}

void TAttributeCriteriaEx::SetAttributeStatus(int Index, TFileAttributeStatus Value) {
  if (Index < 1 || Index > 11) return;
  const uint32_t bit = kExBitOf[Index];
  setMask_ &= ~bit;
  unsetMask_ &= ~bit;
  if (Value == fsSet) setMask_ |= bit;
  if (Value == fsUnset) unsetMask_ |= bit;
}

bool TAttributeCriteriaEx::Matches(uint32_t Attributes) const {
  return (Attributes & setMask_) == setMask_ && (Attributes & unsetMask_) == 0;
}

void TAttributeCriteriaEx::Assign(const TPersistent* Source) {
  const auto* s = dynamic_cast<const TAttributeCriteriaEx*>(Source);
  if (!s) AssignError(Source);
  setMask_ = s->setMask_;
  unsetMask_ = s->unsetMask_;
}

// TDateTimeCriteria

TDateTime FileTimeToLocalDateTime(TFileTime FileTime) {
  TDateTime v = 0;
  return TryFileTimeToLocalDateTime(FileTime, v) ? v : 0;
}

bool DateTimeInRange(TDateTime Value, TDateTime Before, TDateTime After) {
  auto intPart = [](double x) { return std::trunc(x); };
  auto fracPart = [](double x) { return x - std::trunc(x); };
  bool beforeOk;
  if (Before == 0)
    beforeOk = true;
  else if (fracPart(Before) == 0)
    beforeOk = intPart(Value) <= Before;
  else if (intPart(Before) == 0)
    beforeOk = fracPart(Value) <= Before;
  else
    beforeOk = Value <= Before;
  if (!beforeOk) return false;
  if (After == 0) return true;
  if (fracPart(After) == 0) return intPart(Value) >= After;
  if (intPart(After) == 0) return fracPart(Value) >= After;
  return Value >= After;
}

namespace {
bool StampInRange(TFileTime stamp, TDateTime before, TDateTime after) {
  if (before == 0 && after == 0) return true;
  TDateTime v;
  if (!TryFileTimeToLocalDateTime(stamp, v)) return false;
  return DateTimeInRange(v, before, after);
}
}  // namespace

bool TDateTimeCriteria::Matches(TFileTime Created, TFileTime Modified, TFileTime Accessed) const {
  return StampInRange(Created, createdBefore_, createdAfter_) &&
         StampInRange(Modified, modifiedBefore_, modifiedAfter_) &&
         StampInRange(Accessed, accessedBefore_, accessedAfter_);
}

void TDateTimeCriteria::Assign(const TPersistent* Source) {
  const auto* s = dynamic_cast<const TDateTimeCriteria*>(Source);
  if (!s) AssignError(Source);
  createdBefore_ = s->createdBefore_;
  createdAfter_ = s->createdAfter_;
  modifiedBefore_ = s->modifiedBefore_;
  modifiedAfter_ = s->modifiedAfter_;
  accessedBefore_ = s->accessedBefore_;
  accessedAfter_ = s->accessedAfter_;
}

// TSizeCriteria

bool TSizeCriteria::Matches(int64_t Size) const {
  return (min_ == 0 || Size >= min_) && (max_ == 0 || Size <= max_);
}

void TSizeCriteria::Assign(const TPersistent* Source) {
  const auto* s = dynamic_cast<const TSizeCriteria*>(Source);
  if (!s) AssignError(Source);
  min_ = s->min_;
  max_ = s->max_;
}

// TSearchCriteria

void TSearchCriteria::Assign(const TPersistent* Source) {
  const auto* s = dynamic_cast<const TSearchCriteria*>(Source);
  if (!s) AssignError(Source);
  files_.Assign(&s->files_);
  attribute_.Assign(&s->attribute_);
  attributeEx_.Assign(&s->attributeEx_);
  timeStamp_.Assign(&s->timeStamp_);
  size_.Assign(&s->size_);
  content_.Assign(&s->content_);
}

}  // namespace trawlix
