// The structure of a memory table as its owner describes it before creating
// it: field definitions and named index definitions. Nothing is checked here;
// CreateTable checks the whole description at once.
#pragma once

#include <string>
#include <vector>

#include "dataset/TFieldType.h"

namespace tolk {

struct TFieldDef {
  std::string Name;
  TFieldType DataType = TFieldType::ftUnknown;
  int Size = 0;           // characters of an ftString field; ignored for the others
  bool Required = false;  // Post refuses a record without a value here
};

class TFieldDefs {
 public:
  void Clear() { defs_.clear(); }
  void Add(std::string name, TFieldType type, int size = 0, bool required = false) {
    defs_.push_back({std::move(name), type, size, required});
  }
  int Count() const { return static_cast<int>(defs_.size()); }
  const TFieldDef& operator[](int i) const { return defs_[static_cast<std::size_t>(i)]; }
  auto begin() const { return defs_.begin(); }
  auto end() const { return defs_.end(); }

 private:
  std::vector<TFieldDef> defs_;
};

// An index orders the records by the listed fields ("tabela;campo"), each
// ascending, strings case-sensitive; duplicate keys are allowed.
struct TIndexDef {
  std::string Name;
  std::string Fields;  // field names separated by ";"
};

class TIndexDefs {
 public:
  void Clear() { defs_.clear(); }
  void Add(std::string name, std::string fields) {
    defs_.push_back({std::move(name), std::move(fields)});
  }
  int Count() const { return static_cast<int>(defs_.size()); }
  const TIndexDef& operator[](int i) const { return defs_[static_cast<std::size_t>(i)]; }
  auto begin() const { return defs_.begin(); }
  auto end() const { return defs_.end(); }

 private:
  std::vector<TIndexDef> defs_;
};

}  // namespace tolk
