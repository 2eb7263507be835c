#include "model/BrowserCache.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <utility>

namespace quillon {

void TCacheItem::Assign(const TCacheItem& source) {
  if (&source == this)
    return;
  Content = source.Content;
  CacheFile = source.CacheFile;
  Expires = source.Expires;
  Host = source.Host;
  LastAccess = source.LastAccess;
  Name = source.Name;
  Path = source.Path;
  Plaintext = source.Plaintext;
  ServerSecure = source.ServerSecure;
  Tag = source.Tag;
}

int TCacheItem::Index() const {
  return list_ ? list_->LogicalOf(slot_) : -1;
}

std::string TCacheItem::DisplayName() const {
  return Content.empty() ? std::string("TCacheItem") : Content.str();
}

TCacheItem& TCacheList::Add() {
  // Growing the storage costs a move of every slot anyway; close the gap first so that a list
  // that is deleted from and added to in turn does not keep growing.
  if (gapSize_ > 0 && slots_.size() == slots_.capacity()) {
    MoveGapTo(static_cast<std::size_t>(Count()));
    slots_.resize(gapStart_);
    gapSize_ = 0;
  }
  TCacheItem* item = nullptr;
  if (retired_.empty()) {
    if (blocks_.empty() || lastBlockUsed_ == lastBlockSize_) {
      constexpr std::size_t kSmallest = 16, kLargest = 1024;
      lastBlockSize_ = std::clamp(slots_.size(), kSmallest, kLargest);
      blocks_.push_back(std::make_unique<TCacheItem[]>(lastBlockSize_));
      lastBlockUsed_ = 0;
    }
    item = &blocks_.back()[lastBlockUsed_++];
  } else {
    item = retired_.back();
    retired_.pop_back();
  }
  item->Owner = this;
  item->list_ = this;
  item->slot_ = slots_.size();
  slots_.push_back(item);
  return *item;
}

std::size_t TCacheList::CheckedPhysical(int index) const {
  if (index < 0 || index >= Count())
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  return Physical(static_cast<std::size_t>(index));
}

TCacheItem& TCacheList::Items(int index) {
  return *slots_[CheckedPhysical(index)];
}

const TCacheItem& TCacheList::Items(int index) const {
  return *slots_[CheckedPhysical(index)];
}

// Moves the gap so that it starts at logical position index; the entries passed over change
// slots and learn their new ones.
void TCacheList::MoveGapTo(std::size_t index) {
  if (gapSize_ == 0) {
    gapStart_ = index;
    return;
  }
  while (gapStart_ > index) {
    // The entry just before the gap goes to the gap's last slot.
    --gapStart_;
    const std::size_t to = gapStart_ + gapSize_;
    slots_[to] = std::move(slots_[gapStart_]);
    slots_[to]->slot_ = to;
  }
  while (gapStart_ < index) {
    // The entry just behind the gap goes to the gap's first slot.
    const std::size_t from = gapStart_ + gapSize_;
    slots_[gapStart_] = std::move(slots_[from]);
    slots_[gapStart_]->slot_ = gapStart_;
    ++gapStart_;
  }
}

void TCacheList::Delete(int index) {
  CheckedPhysical(index);
  MoveGapTo(static_cast<std::size_t>(index));
  // Take the entry out before resetting it, so the list is consistent meanwhile.
  TCacheItem* const doomed = slots_[gapStart_ + gapSize_];
  slots_[gapStart_ + gapSize_] = nullptr;
  ++gapSize_;
  if (gapStart_ + gapSize_ == slots_.size()) {
    // A gap at the end is just unused storage.
    slots_.resize(gapStart_);
    gapSize_ = 0;
  }
  // A new entry in its place frees the old one's texts and gives Add the defaults.
  std::destroy_at(doomed);
  std::construct_at(doomed);
  retired_.push_back(doomed);
}

void TCacheList::Clear() {
  std::vector<TCacheItem*>().swap(slots_);
  std::vector<TCacheItem*>().swap(retired_);
  std::vector<std::unique_ptr<TCacheItem[]>>().swap(blocks_);
  lastBlockSize_ = 0;
  lastBlockUsed_ = 0;
  gapStart_ = 0;
  gapSize_ = 0;
}

TCacheItem* TCacheList::FindEntry(std::string_view name, std::string_view host) {
  const int count = Count();
  for (int i = 0; i < count; ++i) {
    TCacheItem& item = *slots_[Physical(static_cast<std::size_t>(i))];
    if (item.Name == name && item.Host == host)
      return &item;
  }
  return nullptr;
}

TCacheItem* TCacheList::FindEntryByPath(std::string_view path) {
  const int count = Count();
  for (int i = 0; i < count; ++i) {
    TCacheItem& item = *slots_[Physical(static_cast<std::size_t>(i))];
    if (item.Path == path)
      return &item;
  }
  return nullptr;
}

} // namespace quillon
