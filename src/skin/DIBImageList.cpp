#include "skin/DIBImageList.h"

#include <algorithm>

#include "skin/DIBError.h"

void TDIBImagesItem::SetDIB(const TMemoryDIB& dib) {
  FDIB = dib;
  Changed();
}

void TDIBImagesItem::LoadDIBData(std::span<const uint8_t> stored) {
  FDIB.LoadFromData(stored);
  Changed();
}

void TDIBImagesItem::Changed() {
  if (FOwner) FOwner->ItemChanged(*this);
}

int TDIBImagesItem::Index() const {
  if (!FOwner) return -1;
  for (int i = 0; i < FOwner->Count(); ++i)
    if (FOwner->FItems[static_cast<size_t>(i)].get() == this) return i;
  return -1;
}

TDIBImageLink::~TDIBImageLink() {
  if (FList) FList->Unlink(this);
}

void TDIBImageLink::SetDIBImageList(TDIBImageList* list) {
  if (list == FList) return;
  if (FList) FList->Unlink(this);
  FList = list;
  if (FList) FList->FLinks.push_back(this);
  Notify();
}

void TDIBImageLink::SetDIBIndex(int index) {
  if (index < -1) index = -1;
  if (index == FIndex) return;
  FIndex = index;
  Notify();
}

const TMemoryDIB* TDIBImageLink::GetImage() const {
  return FList ? FList->Image(FIndex) : nullptr;
}

TDIBImageList::~TDIBImageList() {
  // Links outlive nothing they point at: they are told the list is gone.
  std::vector<TDIBImageLink*> links;
  links.swap(FLinks);
  for (TDIBImageLink* link : links) {
    link->FList = nullptr;
    link->Notify();
  }
}

TDIBImagesItem& TDIBImageList::Add() {
  FItems.push_back(std::unique_ptr<TDIBImagesItem>(new TDIBImagesItem(this)));
  TDIBImagesItem& item = *FItems.back();
  // A link may already point at this index, waiting for the item.
  ItemChanged(item);
  return item;
}

TDIBImagesItem& TDIBImageList::Add(std::string displayName, const TMemoryDIB& dib) {
  FItems.push_back(std::unique_ptr<TDIBImagesItem>(new TDIBImagesItem(this)));
  TDIBImagesItem& item = *FItems.back();
  item.FDisplayName = std::move(displayName);
  item.FDIB = dib;
  ItemChanged(item);
  return item;
}

void TDIBImageList::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  FItems.erase(FItems.begin() + index);
  // Copied first: a change handler may add or drop links.
  const std::vector<TDIBImageLink*> links = FLinks;
  for (TDIBImageLink* link : links) {
    if (std::find(FLinks.begin(), FLinks.end(), link) == FLinks.end()) continue;
    if (link->FIndex == index) {
      link->FIndex = -1;
      link->Notify();
    } else if (link->FIndex > index) {
      --link->FIndex; // the same picture as before: nothing to redraw
    }
  }
}

void TDIBImageList::Clear() {
  while (Count() > 0)
    Delete(Count() - 1);
}

const TMemoryDIB* TDIBImageList::Image(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  const TMemoryDIB& dib = FItems[static_cast<size_t>(index)]->FDIB;
  return dib.Empty() ? nullptr : &dib;
}

void TDIBImageList::ItemChanged(const TDIBImagesItem& item) {
  const int index = item.Index();
  const std::vector<TDIBImageLink*> links = FLinks;
  for (TDIBImageLink* link : links) {
    if (std::find(FLinks.begin(), FLinks.end(), link) == FLinks.end()) continue;
    if (link->FIndex == index) link->Notify();
  }
}

void TDIBImageList::Unlink(TDIBImageLink* link) {
  FLinks.erase(std::remove(FLinks.begin(), FLinks.end(), link), FLinks.end());
}

void TDIBSettings::SetDIBCompressor(const std::string& guidText) {
  TGUID guid;
  if (!ParseGUID(guidText, guid) || !FindDIBCompressor(guid))
    throw EDIBError("Could not find a suitable compressor.");
  FGUID = guid;
  FDIBCompressor = GUIDToString(guid);
}
