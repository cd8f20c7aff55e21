// ASN1::CHOICE: one class for every choice type.
//
// Index -1: nothing selected; -2: a selection this side cannot make (an index
// without an alternative descriptor, or an unknown tag). The choice owns its
// selection.
#ifndef ASN1_CHOICE_H
#define ASN1_CHOICE_H

#include "asn1/abstract_data.h"

namespace ASN1 {

class CHOICE : public AbstractData, public detail::Allocator<CHOICE> {
 public:
  struct InfoType : TypeInfo {
    bool extendable;
    // Root alternatives, then extension alternatives.
    const TypeInfo* const* selectionInfos;
    unsigned numChoices;    // root alternatives
    unsigned totalChoices;  // root and extension alternatives
    // Null (automatic tagging), or the root alternatives' tag words ascending.
    const unsigned* selectionTags;
    const char* const* selectionNames;
  };

  enum { unselected_ = -1, unknownSelection_ = -2 };

  // Takes ownership of value.
  explicit CHOICE(const InfoType* info, int index = -1, AbstractData* value = nullptr);
  CHOICE(const CHOICE& other);
  CHOICE& operator=(const CHOICE& other);
  ~CHOICE() override;
  void swap(CHOICE& other);

  static AbstractData* create(const TypeInfo* info);

  const InfoType* info() const { return static_cast<const InfoType*>(AbstractData::info()); }
  bool extendable() const { return info()->extendable; }
  unsigned getNumChoices() const { return info()->numChoices; }

  int currentSelection() const { return choiceID_; }
  bool isUnknownSelection() const { return choiceID_ == unknownSelection_; }
  AbstractData* getSelection() { return choice_; }
  const AbstractData* getSelection() const { return choice_; }
  // REQUIRES: 0 <= currentSelection() < totalChoices.
  const char* getSelectionName() const { return info()->selectionNames[choiceID_]; }

  // Replaces the selection by value (owned from now on) and returns it.
  AbstractData* setSelection(int index, AbstractData* value);
  // Keeps the value when index is already selected; otherwise makes a new
  // default selection. False (index -2) when the type has no such alternative.
  bool select(int index);
  // The selected alternative's tag word: the context tag of its index
  // without a tag table, else the table's entry for a root alternative and
  // the alternative type's own tag for an extension; 0 with nothing selected.
  unsigned getSelectionTag() const;
  // Selects the alternative carrying the tag (the BER decoder's lookup): by
  // index without a tag table, else a root alternative of the table, an
  // extension alternative by its own type's tag, or, when the table starts
  // with an untagged choice, that choice's alternative. False when none
  // carries it.
  bool setID(unsigned tagNumber, unsigned tagClass);
  // The checks of constraint_checker.h for this value with its contents.
  bool isValid() const { return AbstractData::isValid(); }
  bool isStrictlyValid() const { return AbstractData::isStrictlyValid(); }

 protected:
  bool createSelection();
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;

 private:
  AbstractData* choice_;
  int choiceID_;
};

}  // namespace ASN1

#endif
