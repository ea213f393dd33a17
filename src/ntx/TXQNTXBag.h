// The index files a table knows (its `DBFIndexDefs`): one TXQNTXBag per NTX
// file, holding the file's path and its one order, TXQNTXOrder, whose
// 1024-byte header is the file's header as this program holds it.
// An index that works on a file shares its bag and order, so removing the
// definition from the list does not pull them from under an open index.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/TXQSmartDBF.h"
#include "ntx/ntx_format.h"

namespace tolk {

// The file name without folder and extension ("bilhete" for ".../bilhete.ntx").
std::string BagNameOf(std::string_view path);

class TXQNTXOrder {
 public:
  std::array<std::uint8_t, ntx::kBlockSize> Header{};
  std::string Name;
};

class TXQNTXBag {
 public:
  TXQNTXBag(std::string name, std::string fileName, TXQStorageType storage)
      : Name(std::move(name)), FileName(std::move(fileName)), StorageType(storage) {}

  std::string Name;
  std::string FileName;
  TXQStorageType StorageType;

  int OrderCount() const { return order_ ? 1 : 0; }
  // An NTX file holds exactly one order: a second one is refused.
  TXQNTXOrder& AddOrder();
  const std::shared_ptr<TXQNTXOrder>& Order() const { return order_; }

 private:
  std::shared_ptr<TXQNTXOrder> order_;
};

class TDBFIndexDefs {
 public:
  int Count() const { return static_cast<int>(bags_.size()); }
  TXQNTXBag& operator[](int i) const;
  TXQNTXBag& Add(std::string name, std::string fileName, TXQStorageType storage);
  void Delete(int i);
  void Clear() { bags_.clear(); }
  // The bag named `name`, ignoring letter case; null when there is none.
  std::shared_ptr<TXQNTXBag> Find(std::string_view name) const;

 private:
  std::vector<std::shared_ptr<TXQNTXBag>> bags_;
};

}  // namespace tolk
