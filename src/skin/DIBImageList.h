// Image lists of named pictures, the links that controls hold into them, and the settings
// component naming the compressor of stored pictures.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Controls.h"
#include "skin/DIB.h"

class TDIBImageList;

class TDIBImagesItem {
public:
  const std::string& DisplayName() const { return FDisplayName; }
  void SetDisplayName(std::string name) { FDisplayName = std::move(name); }
  const TMemoryDIB& DIB() const { return FDIB; }
  // Replaces the picture and tells the links to this item.
  void SetDIB(const TMemoryDIB& dib);
  // Loads the picture from stored data (raw or packed); EDIBError leaves it unchanged.
  void LoadDIBData(std::span<const uint8_t> stored);
  // For changes made in place through MutableDIB(): tells the links to this item.
  TMemoryDIB& MutableDIB() { return FDIB; }
  void Changed();
  int Index() const;

private:
  friend class TDIBImageList;
  explicit TDIBImagesItem(TDIBImageList* owner) : FOwner(owner) {}
  TDIBImageList* FOwner;
  std::string FDisplayName;
  TMemoryDIB FDIB;
};

// A reference to one picture of an image list. The link follows its item when items before it
// are deleted and becomes −1 when the item itself is deleted; OnChange fires whenever the
// picture it yields may have changed.
class TDIBImageLink {
public:
  TDIBImageLink() = default;
  TDIBImageLink(const TDIBImageLink&) = delete;
  TDIBImageLink& operator=(const TDIBImageLink&) = delete;
  ~TDIBImageLink();

  TDIBImageList* DIBImageList() const { return FList; }
  void SetDIBImageList(TDIBImageList* list);
  int DIBIndex() const { return FIndex; }
  void SetDIBIndex(int index);
  // The linked picture, or null: no list, an index out of range, or an empty picture.
  const TMemoryDIB* GetImage() const;

  std::function<void()> OnChange;

private:
  friend class TDIBImageList;
  void Notify() {
    if (OnChange) OnChange();
  }
  TDIBImageList* FList = nullptr;
  int FIndex = -1;
};

// A component, so that a form can own it; it may also stand alone (no owner).
class TDIBImageList : public TComponent {
public:
  explicit TDIBImageList(TComponent* owner = nullptr) : TComponent(owner) {}
  ~TDIBImageList() override;

  // The DIBImages collection.
  int Count() const { return static_cast<int>(FItems.size()); }
  TDIBImagesItem& Items(int index) { return *FItems.at(static_cast<size_t>(index)); }
  const TDIBImagesItem& Items(int index) const { return *FItems.at(static_cast<size_t>(index)); }
  TDIBImagesItem& Add();
  TDIBImagesItem& Add(std::string displayName, const TMemoryDIB& dib);
  // Removes the item: links above it move down by one, links to it become −1.
  void Delete(int index);
  void Clear();
  // The item's picture, or null as for TDIBImageLink::GetImage.
  const TMemoryDIB* Image(int index) const;

private:
  friend class TDIBImagesItem;
  friend class TDIBImageLink;
  void ItemChanged(const TDIBImagesItem& item);
  void Unlink(TDIBImageLink* link);

  std::vector<std::unique_ptr<TDIBImagesItem>> FItems;
  std::vector<TDIBImageLink*> FLinks;
};

// Names the compressor used when pictures are stored. Setting an identifier that no
// registered compressor has is an EDIBError.
class TDIBSettings : public TComponent {
public:
  explicit TDIBSettings(TComponent* owner = nullptr) : TComponent(owner) {}
  const std::string& DIBCompressor() const { return FDIBCompressor; }
  void SetDIBCompressor(const std::string& guidText);
  TGUID CompressorGUID() const { return FGUID; }

private:
  TGUID FGUID = TLZHDIBCompressor::ID;
  std::string FDIBCompressor = GUIDToString(TLZHDIBCompressor::ID);
};
