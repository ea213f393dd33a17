#include "ntx/TXQNTXBag.h"

#include "dataset/Exceptions.h"
#include "dataset/text.h"
#include "ntx/ntx_errors.h"
#include "platform/system.h"

namespace tolk {

std::string BagNameOf(std::string_view path) {
  std::size_t slash = LastSeparator(path);
  std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::size_t dot = file.find_last_of('.');
  return std::string(dot == std::string_view::npos ? file : file.substr(0, dot));
}

TXQNTXOrder& TXQNTXBag::AddOrder() {
  if (order_) ntx::RaiseSecondOrder();
  order_ = std::make_shared<TXQNTXOrder>();
  return *order_;
}

TXQNTXBag& TDBFIndexDefs::operator[](int i) const {
  if (i < 0 || i >= Count())
    RaiseError("TDBFIndexDefs: List index out of bounds (" + std::to_string(i) + ")");
  return *bags_[static_cast<std::size_t>(i)];
}

TXQNTXBag& TDBFIndexDefs::Add(std::string name, std::string fileName, TXQStorageType storage) {
  bags_.push_back(std::make_shared<TXQNTXBag>(std::move(name), std::move(fileName), storage));
  return *bags_.back();
}

void TDBFIndexDefs::Delete(int i) {
  (*this)[i];
  bags_.erase(bags_.begin() + i);
}

std::shared_ptr<TXQNTXBag> TDBFIndexDefs::Find(std::string_view name) const {
  for (const auto& b : bags_)
    if (SameTextAscii(b->Name, name)) return b;
  return nullptr;
}

}  // namespace tolk
