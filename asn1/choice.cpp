#include "asn1/choice.h"

#include <algorithm>

#include "asn1/visitor.h"

namespace ASN1 {

CHOICE::CHOICE(const InfoType* info, int index, AbstractData* value)
    : AbstractData(info), choice_(value), choiceID_(index) {}

CHOICE::CHOICE(const CHOICE& other)
    : AbstractData(other),
      choice_(other.choice_ != nullptr ? other.choice_->clone() : nullptr),
      choiceID_(other.choiceID_) {}

CHOICE& CHOICE::operator=(const CHOICE& other) {
  if (this != &other) {
    AbstractData* copy = other.choice_ != nullptr ? other.choice_->clone() : nullptr;
    delete choice_;
    choice_ = copy;
    choiceID_ = other.choiceID_;
  }
  return *this;
}

CHOICE::~CHOICE() { delete choice_; }

void CHOICE::swap(CHOICE& other) {
  std::swap(choice_, other.choice_);
  std::swap(choiceID_, other.choiceID_);
}

AbstractData* CHOICE::create(const TypeInfo* info) {
  return new CHOICE(static_cast<const InfoType*>(info));
}

AbstractData* CHOICE::setSelection(int index, AbstractData* value) {
  if (value != choice_) delete choice_;
  choice_ = value;
  choiceID_ = index;
  return value;
}

bool CHOICE::select(int index) {
  if (index == choiceID_ && choice_ != nullptr) return true;
  choiceID_ = index;
  return createSelection();
}

bool CHOICE::createSelection() {
  const InfoType* d = info();
  if (choiceID_ >= 0 && unsigned(choiceID_) < d->totalChoices &&
      d->selectionInfos[choiceID_] != nullptr) {
    AbstractData* value = AbstractData::create(d->selectionInfos[choiceID_]);
    if (value != nullptr) {
      delete choice_;
      choice_ = value;
      return true;
    }
  }
  choiceID_ = unknownSelection_;
  delete choice_;
  choice_ = nullptr;
  return false;
}

unsigned CHOICE::getSelectionTag() const {
  const InfoType* d = info();
  if (choiceID_ < 0) return 0;
  if (d->selectionTags == nullptr) return contextTag(unsigned(choiceID_));
  if (unsigned(choiceID_) < d->numChoices) return d->selectionTags[choiceID_];
  // The table covers the root alternatives only: an extension alternative
  // carries its own type's tag.
  if (unsigned(choiceID_) < d->totalChoices && d->selectionInfos[choiceID_] != nullptr)
    return d->selectionInfos[choiceID_]->tag;
  return 0;
}

bool CHOICE::setID(unsigned tagNumber, unsigned tagClass) {
  const unsigned tag = (tagClass << 16) | tagNumber;
  const InfoType* d = info();
  if (d->selectionTags == nullptr) {
    choiceID_ = int(tagNumber);
    return createSelection();
  }
  const unsigned* first = d->selectionTags;
  const unsigned* last = first + d->numChoices;
  const unsigned* pos = std::lower_bound(first, last, tag);
  choiceID_ = int(pos - first);
  if (pos != last && *pos == tag) return createSelection();
  // The table holds the root alternatives only; an extension alternative
  // goes under its own type's tag (getSelectionTag), so it is found by it.
  for (unsigned k = d->numChoices; tag != 0 && k < d->totalChoices; ++k) {
    if (d->selectionInfos[k] != nullptr && d->selectionInfos[k]->tag == tag) {
      choiceID_ = int(k);
      return createSelection();
    }
  }
  if (d->numChoices > 0 && first[0] == 0) {
    // An untagged first alternative may be a choice that carries the tag;
    // anything else untagged (an open type) cannot be asked.
    choiceID_ = 0;
    CHOICE* inner = createSelection() ? dynamic_cast<CHOICE*>(choice_) : nullptr;
    if (inner != nullptr && inner->setID(tagNumber, tagClass)) return true;
    choiceID_ = unknownSelection_;
    delete choice_;
    choice_ = nullptr;
    return false;
  }
  return false;
}

int CHOICE::do_compare(const AbstractData& otherData) const {
  const CHOICE& other = static_cast<const CHOICE&>(otherData);
  if (choiceID_ < 0 || choiceID_ != other.choiceID_) return choiceID_ - other.choiceID_;
  if (choice_ == nullptr || other.choice_ == nullptr)
    return int(choice_ != nullptr) - int(other.choice_ != nullptr);
  return choice_->compare(*other.choice_);
}

AbstractData* CHOICE::do_clone() const { return cloneAs<CHOICE>(); }

bool CHOICE::do_accept(Visitor& v) { return v.visit(*this); }
bool CHOICE::do_accept(ConstVisitor& v) const { return v.visit(*this); }

}  // namespace ASN1
