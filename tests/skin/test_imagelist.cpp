// Image lists and the links into them.
#include <gtest/gtest.h>

#include "skin/DIBError.h"
#include "skin/DIBImageList.h"

namespace {

TMemoryDIB Picture(uint8_t tag) {
  TMemoryDIB dib;
  dib.SetBitmap(TBitmap32(2, 2, Bgra(tag, 0, 0)));
  return dib;
}

struct TCountedLink {
  TDIBImageLink Link;
  int Changes = 0;
  TCountedLink(TDIBImageList& list, int index) {
    Link.SetDIBImageList(&list);
    Link.SetDIBIndex(index);
    Link.OnChange = [this] { ++Changes; };
  }
  int Tag() const {
    const TMemoryDIB* dib = Link.GetImage();
    return dib ? static_cast<int>(dib->Bitmap().At(0, 0) >> 16 & 0xFF) : -1;
  }
};

} // namespace

TEST(ImageList, LookUpYieldsNothingForMissingPictures) {
  TDIBImageList list;
  list.Add("a", Picture(1));
  list.Add("empty", TMemoryDIB());
  TDIBImageLink link;
  EXPECT_EQ(link.GetImage(), nullptr); // no list
  link.SetDIBImageList(&list);
  for (int index : {-1, 1, 2, 99}) {
    link.SetDIBIndex(index);
    EXPECT_EQ(link.GetImage(), nullptr) << index;
  }
  link.SetDIBIndex(0);
  EXPECT_NE(link.GetImage(), nullptr);
  EXPECT_EQ(list.Items(0).DisplayName(), "a");
}

TEST(ImageList, DeletionShiftsLinksAboveAndClearsLinksToTheItem) {
  TDIBImageList list;
  for (uint8_t i = 0; i < 4; ++i)
    list.Add(std::string(1, static_cast<char>('a' + i)), Picture(10 + i));
  TCountedLink below(list, 0), doomed(list, 1), above(list, 2), top(list, 3);
  list.Delete(1);
  EXPECT_EQ(below.Link.DIBIndex(), 0);
  EXPECT_EQ(doomed.Link.DIBIndex(), -1);
  EXPECT_EQ(above.Link.DIBIndex(), 1);
  EXPECT_EQ(top.Link.DIBIndex(), 2);
  // Every link still shows the picture it showed before, except the cleared one.
  EXPECT_EQ(below.Tag(), 10);
  EXPECT_EQ(doomed.Tag(), -1);
  EXPECT_EQ(above.Tag(), 12);
  EXPECT_EQ(top.Tag(), 13);
  EXPECT_EQ(doomed.Changes, 1);
  EXPECT_EQ(below.Changes + above.Changes + top.Changes, 0);
  list.Delete(7); // out of range: nothing
  EXPECT_EQ(list.Count(), 3);
}

TEST(ImageList, ChangedItemNotifiesOnlyItsLinks) {
  TDIBImageList list;
  list.Add("a", Picture(1));
  list.Add("b", Picture(2));
  TCountedLink a(list, 0), b(list, 1), waiting(list, 2);
  list.Items(1).SetDIB(Picture(5));
  EXPECT_EQ(a.Changes, 0);
  EXPECT_EQ(b.Changes, 1);
  EXPECT_EQ(b.Tag(), 5);
  list.Add("c", Picture(3)); // the link waiting at index 2 now yields a picture
  EXPECT_EQ(waiting.Changes, 1);
  EXPECT_EQ(waiting.Tag(), 3);
  // A failed load changes nothing and tells nobody.
  EXPECT_THROW(list.Items(0).LoadDIBData(std::vector<uint8_t>(41, 1)), EDIBError);
  EXPECT_EQ(a.Tag(), 1);
  EXPECT_EQ(a.Changes, 0);
}

TEST(ImageList, LinksAndListsMayDieInEitherOrder) {
  auto list = std::make_unique<TDIBImageList>();
  list->Add("a", Picture(1));
  {
    TDIBImageLink shortLived;
    shortLived.SetDIBImageList(list.get());
  }
  TCountedLink survivor(*list, 0);
  list.reset();
  EXPECT_EQ(survivor.Link.DIBImageList(), nullptr);
  EXPECT_EQ(survivor.Link.GetImage(), nullptr);
  EXPECT_EQ(survivor.Changes, 1);
}

TEST(Settings, CompressorMustBeRegistered) {
  TDIBSettings settings;
  settings.SetDIBCompressor("{bc0c10fc-e045-41e7-a37c-b86af21320b8}");
  EXPECT_EQ(settings.DIBCompressor(), "{BC0C10FC-E045-41E7-A37C-B86AF21320B8}");
  EXPECT_EQ(settings.CompressorGUID(), TLZHDIBCompressor::ID);
  EXPECT_THROW(settings.SetDIBCompressor("{00000000-0000-0000-0000-000000000000}"), EDIBError);
  EXPECT_EQ(settings.CompressorGUID(), TLZHDIBCompressor::ID);
}
