// The in-memory model of an ini configuration file and its parser.
//
// The model keeps every repetition instead of merging it:
//   File       -> one Section per distinct header text
//   Section    -> one SubSection per header line carrying that text
//   SubSection -> one Key per distinct key name in that header's block
//   Key        -> one SubKey per occurrence of the key (value and line number)
// Every level keeps its children in creation order (file order when parsed).
// A parent owns its children; removing or destroying it destroys them.
//
// Lookups with operator[] on a File or SubSection never fail: an absent name is
// created empty and stays in the model until the file is closed or destroyed.
//
// There are no syntax errors: malformed lines are dropped silently. The only
// reported condition is a file that cannot be opened (File::Open returns false).
//
// Single thread only; nothing here locks.
#ifndef FOUNDATION_INI_FILE_H
#define FOUNDATION_INI_FILE_H

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>

namespace IniFile {

// Forward iterator over one level of the model; the end iterator holds null.
// T must provide GetNext() returning T*.
template <class T>
class GenericIterator {
 public:
  GenericIterator() : mItem(nullptr) {}
  explicit GenericIterator(T* item) : mItem(item) {}

  GenericIterator& operator++() {
    if (mItem) mItem = mItem->GetNext();
    return *this;
  }
  GenericIterator operator++(int) {
    GenericIterator copy(*this);
    ++*this;
    return copy;
  }
  T& operator*() const { return *mItem; }
  T* operator->() const { return mItem; }
  bool operator!=(const GenericIterator& other) const { return mItem != other.mItem; }
  bool operator==(const GenericIterator& other) const { return mItem == other.mItem; }

 private:
  T* mItem;
};

namespace Private {

// The doubly linked, counted, owning child list every level uses.
template <class T>
class ChildList {
 public:
  ChildList() : mCount(0), mFirst(nullptr), mLast(nullptr) {}
  ~ChildList() { Clear(); }
  ChildList(const ChildList&) = delete;
  ChildList& operator=(const ChildList&) = delete;

  // Takes ownership of item and links it at the tail.
  T* Append(T* item) {
    item->mPrev = mLast;
    item->mNext = nullptr;
    if (mLast)
      mLast->mNext = item;
    else
      mFirst = item;
    mLast = item;
    ++mCount;
    return item;
  }
  void Clear() {
    T* item = mFirst;
    while (item) {
      T* next = item->mNext;
      delete item;
      item = next;
    }
    mFirst = mLast = nullptr;
    mCount = 0;
  }
  uint32_t Count() const { return mCount; }
  T* First() const { return mFirst; }
  T* Last() const { return mLast; }

 private:
  uint32_t mCount;
  T* mFirst;
  T* mLast;
};

// The list links an element carries.
template <class T>
class ListLinks {
 public:
  T* GetNext() const { return mNext; }
  T* GetPrev() const { return mPrev; }

 protected:
  ListLinks() : mNext(nullptr), mPrev(nullptr) {}

 private:
  friend class ChildList<T>;
  T* mNext;
  T* mPrev;
};

}  // namespace Private

// One occurrence of a key: its value text and the line it stands on.
class SubKey : public Private::ListLinks<SubKey> {
 public:
  SubKey(const std::string& value, int lineNo);
  SubKey(const SubKey&) = delete;
  SubKey& operator=(const SubKey&) = delete;

  std::string& GetStr() { return mValue; }
  const std::string& GetStr() const { return mValue; }
  // -1 for a value made by Key::CheckEmpty.
  int GetLineNo() const { return mLineNo; }

  // "true", "yes", "1", "on" give true; "false", "no", "0", "off" false
  // (whole value, case-sensitive); anything else gives def.
  bool GetBool(bool def) const;
  void SetBool(bool value);
  // scanf "%d": leading white space skipped, trailing text ignored, no number
  // gives def.
  int GetInt(int def) const;
  void SetInt(int value);
  // scanf "%f", as GetInt.
  float GetFloat(float def) const;
  void SetFloat(float value);

  void Dump(std::ostream& os) const;

 private:
  std::string mValue;
  int mLineNo;
};

// A key name and all its values in one sub-section, in file order.
class Key : public Private::ListLinks<Key> {
 public:
  typedef GenericIterator<SubKey> iterator;

  explicit Key(const std::string& name);
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  const std::string& GetName() const { return mName; }
  uint32_t GetCount() const { return mSubKeys.Count(); }
  // Both first CheckEmpty: asking a key without values gives an empty value
  // (line -1) that then stays, so the count becomes 1.
  SubKey& GetFirstSubKey();
  SubKey& GetLastSubKey();
  std::string& GetStr() { return GetFirstSubKey().GetStr(); }

  SubKey& NewSubKey(const std::string& value, int lineNo);
  void CleanSubKeys() { mSubKeys.Clear(); }
  void CheckEmpty();

  iterator begin() const { return iterator(mSubKeys.First()); }
  iterator end() const { return iterator(); }

  void Dump(std::ostream& os) const;

 private:
  std::string mName;
  Private::ChildList<SubKey> mSubKeys;
};

// One header's block of keys.
class SubSection : public Private::ListLinks<SubSection> {
 public:
  typedef GenericIterator<Key> iterator;

  explicit SubSection(int lineNo);
  SubSection(const SubSection&) = delete;
  SubSection& operator=(const SubSection&) = delete;

  // Line of the header that opened it (1-based); -1 when made by
  // Section::CheckEmpty.
  int GetLineNo() const { return mLineNo; }
  uint32_t GetKeyCount() const { return mKeys.Count(); }

  // The key of that exact name; an absent one is created with no value.
  Key& operator[](const std::string& name);
  // Appends a key without entering it in the index (operator[] does that).
  Key& NewKey(const std::string& name);
  SubKey& NewSubKey(const std::string& keyName, const std::string& value, int lineNo);
  void CleanKeys();

  iterator begin() const { return iterator(mKeys.First()); }
  iterator end() const { return iterator(); }

  void Dump(std::ostream& os) const;

 private:
  int mLineNo;
  Private::ChildList<Key> mKeys;
  std::map<std::string, Key*> mIndex;
};

// All sub-sections that share one header text, in file order.
class Section : public Private::ListLinks<Section> {
 public:
  typedef GenericIterator<SubSection> iterator;

  explicit Section(const std::string& name);
  Section(const Section&) = delete;
  Section& operator=(const Section&) = delete;

  const std::string& GetName() const { return mName; }
  uint32_t GetSubSectionCount() const { return mSubSections.Count(); }

  SubSection& NewSubSection(int lineNo);
  void CleanSubSections() { mSubSections.Clear(); }
  // Gives a section without sub-sections one empty sub-section (line -1).
  void CheckEmpty();

  iterator begin() const { return iterator(mSubSections.First()); }
  iterator end() const { return iterator(); }

  void Dump(std::ostream& os) const;

 private:
  std::string mName;
  Private::ChildList<SubSection> mSubSections;
};

// The parsed file: its sections in file order and by name.
class File {
 public:
  typedef GenericIterator<Section> iterator;

  File();
  explicit File(const std::string& fileName);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Configuration files are small; a larger one is refused.
  static constexpr std::size_t kMaxSize = 256 * 1024;

  // Drops the model, then reads and parses the file (binary, no text
  // translation). True exactly when the file could be read: after symbolic
  // links it must be a regular file of at most kMaxSize bytes, opened
  // without blocking; an empty file counts as open. Nothing is logged.
  bool Open(const std::string& fileName);
  // Why the last Open() refused the file that is there (not a regular file,
  // too large); empty when it succeeded or there was nothing to read.
  const std::string& GetRefusal() const { return mRefusal; }
  // When open: destroys every section and clears the open flag. On a file
  // that is not open it does nothing.
  void Close();
  // The model is never written back.
  void Sync() {}

  bool IsOpen() const { return mOpen; }
  const std::string& GetFileName() const { return mFileName; }
  uint32_t GetSectionCount() const { return mSections.Count(); }

  // The section of that exact header text; an absent one is created empty.
  Section& operator[](const std::string& name);
  SubSection& NewSubSection(const std::string& sectionName, int lineNo);
  // Appends a section without entering it in the index.
  Section& NewSection(const std::string& name);
  void CleanSections();

  iterator begin() const { return iterator(mSections.First()); }
  iterator end() const { return iterator(); }

  void Dump(std::ostream& os) const;

  // Sets the open flag and parses the stream to its end.
  void IntOpenStream(std::istream& is);

 private:
  friend std::istream& operator>>(std::istream& is, File& file);
  void IntOpen();

  std::string mFileName;
  std::string mRefusal;
  bool mOpen;
  Private::ChildList<Section> mSections;
  std::map<std::string, Section*> mIndex;
};

// Close, forget the file name, parse the stream.
std::istream& operator>>(std::istream& is, File& file);

}  // namespace IniFile

#endif  // FOUNDATION_INI_FILE_H
