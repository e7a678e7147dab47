// The image controls and their container, driven the way the editor drives them: built on a
// headless form, painted through the backend and pointed at with injected pointer events.
#include <gtest/gtest.h>

#include "platform/HeadlessBackend.h"
#include "skin/DIBControls.h"
#include "skin/DIBError.h"

namespace {

constexpr uint32_t White = Bgra(255, 255, 255);
constexpr uint32_t Black = Bgra(0, 0, 0);
constexpr uint32_t Grey205 = Bgra(205, 205, 205);

// A w x h picture with white (the key) everywhere except a black `inner` rectangle.
TMemoryDIB KeyedPicture(int w, int h, TRect inner) {
  TBitmap32 pixels(w, h, White);
  for (int y = inner.Top; y < inner.Bottom; ++y)
    for (int x = inner.Left; x < inner.Right; ++x)
      pixels.At(x, y) = Black;
  TMemoryDIB dib;
  dib.SetBitmap(pixels);
  dib.SetTransparent(true);
  dib.SetTransparentMode(tmFixed);
  dib.SetTransparentColor(clWhite);
  return dib;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDIBError& e) {
    return e.what();
  }
  return "";
}

// A form with a white container filling it, as the editor has.
class SkinTest : public ::testing::Test {
protected:
  void SetUp() override {
    Headless.Reset();
    Form = new TForm(nullptr);
    Form->SetBounds(0, 0, 100, 60);
    Form->SetColor(clWhite);
    Container = new TDIBImageContainer(Form);
    Container->SetParent(Form);
    Container->SetAlign(alClient);
    Container->SetColor(clWhite);
    Container->SetDIBImageList(&List);
    Window = Form->Handle();
  }
  void TearDown() override { delete Form; }

  TDIBImage* AddImage(int index, TRect box) {
    auto* image = new TDIBImage(Form);
    image->SetDIBImageList(&List);
    image->IndexMain().SetDIBIndex(index);
    image->SetBoundsRect(box);
    return image;
  }
  uint32_t Screen(int x, int y) {
    Form->Update();
    return Rgb24(Headless.WindowPixels(Window).At(x, y));
  }

  THeadlessBackend& Headless = THeadlessBackend::Instance();
  TDIBImageList List; // outlives the form: the controls' links let go of it when they die
  TForm* Form = nullptr;
  TDIBImageContainer* Container = nullptr;
  TWindowHandle Window = 0;
};

} // namespace

TEST_F(SkinTest, ControlNeedsAContainerForOwner) {
  EXPECT_EQ(ErrorOf([] { TDIBImage image(nullptr); }), "Owner cannot be nil");
  TComponent lonely(nullptr);
  EXPECT_EQ(ErrorOf([&] { TDIBImage image(&lonely); }), "Parent must be a TDIBContainer");
  EXPECT_EQ(lonely.ComponentCount(), 0); // the failed control did not stay behind
  // Owned by the container itself, or by a component owning one (the form here).
  auto* direct = new TDIBImage(Container);
  auto* viaForm = new TDIBImage(Form);
  EXPECT_EQ(direct->Container(), Container);
  EXPECT_EQ(viaForm->Parent(), Container);
  EXPECT_EQ(viaForm->BoundsRect(), TRect::FromSize(0, 0, 32, 32));
}

TEST_F(SkinTest, OpacityBlendsOnlyWhatTheContentDrew) {
  List.Add("p", KeyedPicture(10, 10, TRect{2, 2, 4, 4}));
  TDIBImage* image = AddImage(0, TRect::FromSize(20, 10, 10, 10));
  EXPECT_EQ(Screen(22, 12), Black);
  EXPECT_EQ(Screen(20, 10), White); // key: the container shows through
  image->SetOpacity(50);
  EXPECT_EQ(Screen(22, 12), Grey205);
  EXPECT_EQ(Screen(21, 11), White);
  image->SetOpacity(0);
  EXPECT_EQ(Screen(22, 12), White);
}

TEST_F(SkinTest, FullOpacityShortcutMatchesThePaintThroughTheScratch) {
  // A paint-event handler forces the scratch picture; without one, full opacity draws
  // straight into the off-screen picture. Both must give the same pixels, also where the
  // content is scaled, centred, faded by the picture's own opacity and clipped by the form.
  TMemoryDIB dib = KeyedPicture(14, 9, TRect{1, 1, 13, 8});
  for (int x = 0; x < 14; ++x)
    dib.Bitmap().At(x, 4) = Bgra(static_cast<uint8_t>(x * 18), 90, 7);
  dib.SetOpacity(170);
  List.Add("p", dib);
  Container->SetColor(clLime);
  auto paintOf = [&](bool scratch) {
    TDIBImage* image = AddImage(0, TRect::FromSize(80, 45, 31, 23));
    image->SetScale(150);
    image->SetAngle(20);
    image->SetCenter(true);
    int starts = 0;
    if (scratch)
      image->OnPaintStart = [&](TObject*, TBitmap32& p) {
        ++starts;
        EXPECT_EQ(p.Width, 31);
      };
    Screen(0, 0);
    std::vector<uint32_t> pixels = Headless.WindowPixels(Window).Pixels;
    EXPECT_EQ(starts, scratch ? 1 : 0);
    delete image;
    return pixels;
  };
  EXPECT_EQ(paintOf(true), paintOf(false));
}

TEST_F(SkinTest, ChildrenPaintBackToFrontAndOnePaintIsOneTransfer) {
  List.Add("p", KeyedPicture(10, 10, TRect{0, 0, 10, 10}));
  TDIBImage* back = AddImage(0, TRect::FromSize(0, 0, 10, 10));
  auto* label = new TLabel(Form);
  label->SetParent(Container);
  label->SetAutoSize(false);
  label->SetBoundsRect(TRect::FromSize(5, 0, 10, 10)); // opaque, empty: fills with white
  TDIBImage* front = AddImage(0, TRect::FromSize(8, 0, 10, 10));
  front->SetOpacity(50);
  Form->Update();
  const int before = Headless.PresentCount(Window);
  EXPECT_EQ(Screen(2, 2), Black);    // the back image
  EXPECT_EQ(Screen(6, 2), White);    // the label over it
  EXPECT_EQ(Screen(9, 2), Grey205);  // the faded front image over the label
  EXPECT_EQ(Screen(16, 2), Grey205); // ... and over the container
  back->Invalidate();
  front->Invalidate();
  Form->Update();
  EXPECT_EQ(Headless.PresentCount(Window), before + 1);
}

TEST_F(SkinTest, MissingPictureDrawsNothingAndKeepsTheSize) {
  List.Add("p", KeyedPicture(10, 10, TRect{0, 0, 10, 10}));
  for (int index : {-1, 1, 99}) {
    TDIBImage* image = AddImage(index, TRect::FromSize(0, 0, 20, 20));
    image->SetAutoSize(true);
    EXPECT_EQ(image->BoundsRect(), TRect::FromSize(0, 0, 20, 20)) << index;
    EXPECT_EQ(Screen(5, 5), White) << index;
    delete image;
  }
}

TEST_F(SkinTest, AutoSizeFollowsThePictureAngleAndScale) {
  struct Case {
    int W, H;
    TRect Expected;
  };
  for (const Case& c : {Case{1002, 159, {0, 0, 1002, 160}}, Case{599, 343, {0, 0, 600, 344}},
                        Case{226, 152, {0, 0, 226, 152}}}) {
    List.Clear();
    List.Add("p", KeyedPicture(c.W, c.H, TRect{}));
    TDIBImage* image = AddImage(0, TRect::FromSize(0, 0, 32, 32));
    image->SetAutoSize(true);
    EXPECT_EQ(image->BoundsRect(), c.Expected) << c.W << "x" << c.H;
    delete image;
  }
  List.Clear();
  List.Add("p", KeyedPicture(10, 20, TRect{}));
  TDIBImage* image = AddImage(0, TRect::FromSize(3, 4, 1, 1));
  image->SetAutoSize(true);
  EXPECT_EQ(image->BoundsRect(), TRect::FromSize(3, 4, 10, 20));
  image->SetAngle(450);
  EXPECT_EQ(image->Angle(), 90);
  EXPECT_EQ(image->BoundsRect(), TRect::FromSize(3, 4, 20, 10));
  image->SetScale(50);
  EXPECT_EQ(image->BoundsRect(), TRect::FromSize(3, 4, 10, 6)); // 5 is odd
  // A changed picture in the list resizes the control linked to it.
  List.Items(0).SetDIB(KeyedPicture(4, 8, TRect{}));
  EXPECT_EQ(image->BoundsRect(), TRect::FromSize(3, 4, 4, 2));
}

TEST_F(SkinTest, SetterRules) {
  List.Add("p", KeyedPicture(10, 10, TRect{}));
  TDIBImage* image = AddImage(0, TRect::FromSize(0, 0, 30, 30));
  image->SetAutoSize(true);
  image->SetStretch(true);
  EXPECT_FALSE(image->AutoSize());
  image->SetScale(100);
  EXPECT_FALSE(image->Stretch());
  EXPECT_EQ(image->BoundsRect(), TRect::FromSize(0, 0, 10, 10)); // from the auto-size step
}

TEST_F(SkinTest, StretchIsInWholePercent) {
  // 271 -> 272 is 100 %: drawn unscaled from the left edge, the last column shows beneath.
  TMemoryDIB logo = KeyedPicture(271, 4, TRect{0, 0, 271, 4});
  logo.Bitmap().At(270, 0) = Bgra(1, 2, 3);
  List.Add("logo", logo);
  Form->SetBounds(0, 0, 300, 10);
  TDIBImage* image = AddImage(0, TRect::FromSize(0, 0, 272, 4));
  image->SetStretch(true);
  EXPECT_EQ(Screen(270, 0), Bgra(1, 2, 3));
  EXPECT_EQ(Screen(271, 0), White);
  // 20 -> 41 is 205 %: the one black source column covers two or three target columns.
  List.Add("small", KeyedPicture(20, 4, TRect{0, 0, 1, 4}));
  image->IndexMain().SetDIBIndex(1);
  image->SetBounds(0, 0, 41, 4);
  int black = 0;
  for (int x = 0; x < 41; ++x)
    black += Screen(x, 1) == Black;
  EXPECT_GE(black, 2);
  EXPECT_LE(black, 3);
  EXPECT_EQ(Screen(0, 1), Black);
}

TEST_F(SkinTest, CenterPlacesTheBoxInTheMiddle) {
  List.Add("p", KeyedPicture(4, 4, TRect{0, 0, 4, 4}));
  TDIBImage* image = AddImage(0, TRect::FromSize(0, 0, 10, 10));
  image->SetCenter(true);
  EXPECT_EQ(Screen(2, 2), White);
  EXPECT_EQ(Screen(3, 3), Black); // 10/2 - 4/2 = 3
  EXPECT_EQ(Screen(6, 6), Black);
  EXPECT_EQ(Screen(7, 7), White);
}

TEST_F(SkinTest, BackgroundPictureCentredOrTiled) {
  Form->SetBounds(0, 0, 10, 6);
  TMemoryDIB tile;
  tile.SetBitmap(TBitmap32(4, 4, Black));
  tile.Bitmap().At(0, 0) = Bgra(9, 9, 9);
  List.Add("bg", tile);
  Container->SetColor(clRed);
  Container->IndexImage().SetDIBIndex(0);
  EXPECT_EQ(Screen(0, 0), Bgra(255, 0, 0)); // colour around the centred picture
  EXPECT_EQ(Screen(3, 1), Bgra(9, 9, 9));   // at 10/2 - 4/2 = 3, 6/2 - 4/2 = 1
  Container->SetTileMethod(tmTile);
  for (auto [x, y] : {std::pair{0, 0}, {4, 0}, {8, 0}, {0, 4}, {8, 4}})
    EXPECT_EQ(Screen(x, y), Bgra(9, 9, 9)) << x << "," << y;
  EXPECT_EQ(Screen(9, 5), Black);
}

TEST_F(SkinTest, DeletedItemLeavesItsControlEmpty) {
  List.Add("a", KeyedPicture(4, 4, TRect{0, 0, 4, 4}));
  List.Add("b", KeyedPicture(4, 4, TRect{1, 1, 2, 2}));
  TDIBImage* a = AddImage(0, TRect::FromSize(0, 0, 4, 4));
  TDIBImage* b = AddImage(1, TRect::FromSize(10, 0, 4, 4));
  EXPECT_EQ(Screen(0, 0), Black);
  List.Delete(0);
  EXPECT_EQ(a->IndexMain().DIBIndex(), -1);
  EXPECT_EQ(b->IndexMain().DIBIndex(), 0);
  EXPECT_EQ(Screen(0, 0), White);
  EXPECT_EQ(Screen(11, 1), Black);
}

TEST_F(SkinTest, HighlightRaisesAndRestoresTheOpacityItFound) {
  List.Add("p", KeyedPicture(10, 10, TRect{0, 0, 10, 10}));
  TDIBImage* logo = AddImage(0, TRect::FromSize(20, 10, 10, 10));
  logo->SetOpacity(100);
  logo->AddFeatureItem("THighlightDIB").DIBFeatureParameters()["HighlightOpacity"] = "255";
  logo->Loaded();
  Headless.InjectMove(Window, 25, 15);
  EXPECT_EQ(logo->Opacity(), 255);
  EXPECT_EQ(Screen(25, 15), Black);
  logo->SetOpacity(30); // changed while the pointer is inside
  Headless.InjectMove(Window, 50, 15);
  EXPECT_EQ(logo->Opacity(), 100);

  // A drag that starts on the control and ends outside keeps it highlighted until the
  // release, then restores it and enters the control under the pointer.
  TDIBImage* other = AddImage(0, TRect::FromSize(60, 10, 10, 10));
  int otherEnters = 0, leaves = 0;
  other->OnMouseEnter = [&](TObject*) { ++otherEnters; };
  logo->OnMouseLeave = [&](TObject*) { ++leaves; };
  Headless.InjectMove(Window, 25, 15);
  Headless.InjectPress(Window, 25, 15);
  Headless.InjectMove(Window, 65, 15, {ssLeft});
  EXPECT_EQ(logo->Opacity(), 255);
  EXPECT_TRUE(logo->MouseInControl());
  EXPECT_EQ(otherEnters, 0);
  Headless.InjectRelease(Window, 65, 15);
  EXPECT_EQ(logo->Opacity(), 100);
  EXPECT_FALSE(logo->MouseInControl());
  EXPECT_EQ(leaves, 1);
  EXPECT_EQ(otherEnters, 1);
  EXPECT_EQ(Form->CaptureControl(), nullptr);
}

// Two editors in one process: a press held in one window leaves the other's highlight alone,
// also once that window has gone with the press still held.
TEST_F(SkinTest, HighlightIgnoresACaptureInAnotherForm) {
  List.Add("p", KeyedPicture(10, 10, TRect{0, 0, 10, 10}));
  TDIBImage* logo = AddImage(0, TRect::FromSize(20, 10, 10, 10));
  logo->SetOpacity(100);
  logo->AddFeatureItem("THighlightDIB");
  logo->Loaded();
  auto* other = new TForm(nullptr);
  other->SetBounds(0, 0, 50, 50);
  auto* pressed = new TControl(other);
  pressed->SetBounds(0, 0, 50, 50);
  pressed->SetParent(other);
  Headless.InjectMove(other->Handle(), 10, 10);
  Headless.InjectPress(other->Handle(), 10, 10);
  ASSERT_TRUE(pressed->MouseCapture());
  Headless.InjectMove(Window, 25, 15);
  EXPECT_EQ(logo->Opacity(), 255);
  Headless.InjectMove(Window, 50, 15);
  EXPECT_EQ(logo->Opacity(), 100);
  delete other;
  Headless.InjectMove(Window, 25, 15);
  EXPECT_EQ(logo->Opacity(), 255);
  Headless.InjectLeave(Window);
  EXPECT_EQ(logo->Opacity(), 100);
}

TEST_F(SkinTest, HighlightFollowsFocusWhileThePointerIsAway) {
  List.Add("p", KeyedPicture(10, 10, TRect{}));
  TDIBImage* a = AddImage(0, TRect::FromSize(0, 0, 10, 10));
  TDIBImage* b = AddImage(0, TRect::FromSize(20, 0, 10, 10));
  a->SetOpacity(40);
  a->SetDIBTabOrder(0);
  b->SetDIBTabOrder(1);
  a->AddFeatureItem("THighlightDIB");
  a->Loaded();
  EXPECT_TRUE(Container->SelectNextDIBControl(true));
  EXPECT_TRUE(a->Focused());
  EXPECT_EQ(a->Opacity(), 255);
  EXPECT_TRUE(Container->SelectNextDIBControl(true));
  EXPECT_TRUE(b->Focused());
  EXPECT_EQ(a->Opacity(), 40);
}

TEST_F(SkinTest, PressFocusesFirstAndClickFires) {
  List.Add("p", KeyedPicture(10, 10, TRect{}));
  TDIBImage* image = AddImage(0, TRect::FromSize(0, 0, 10, 10));
  std::vector<std::string> log;
  image->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) {
    log.push_back(image->Focused() ? "down focused" : "down");
  };
  image->OnClick = [&](TObject*) { log.push_back("click"); };
  Headless.InjectClick(Window, 5, 5);
  image->SetDIBTabOrder(0);
  Headless.InjectClick(Window, 5, 5, mbRight); // any button focuses, only the left clicks
  Headless.InjectPress(Window, 5, 5);
  Headless.InjectRelease(Window, 50, 50); // released elsewhere: no click
  EXPECT_EQ(log, (std::vector<std::string>{"down", "click", "down focused", "down focused"}));
}

TEST_F(SkinTest, FeatureClassesMustBeRegistered) {
  TDIBImage* image = AddImage(-1, TRect::FromSize(0, 0, 10, 10));
  image->AddFeatureItem("TMovableDIB");
  EXPECT_EQ(ErrorOf([&] { image->Loaded(); }), "TMovableDIB has not been registered");
  EXPECT_FALSE(IsDIBFeatureClassRegistered("TMovableDIB"));

  TDIBImage* bad = AddImage(-1, TRect::FromSize(0, 0, 10, 10));
  bad->AddFeatureItem("THighlightDIB").DIBFeatureParameters()["HighlightOpacity"] = "256";
  EXPECT_THROW(bad->Loaded(), EDIBError);

  // A registered class sees messages first and can swallow them.
  struct TSwallowClicks : TDIBFeature {
    using TDIBFeature::TDIBFeature;
    void HandleMessage(TMessage& m, bool& handled) override {
      handled = m.Msg == QM_MOUSEDOWN || m.Msg == QM_MOUSEUP;
    }
  };
  RegisterDIBFeatureClass("TSwallowClicks",
                          [](TCustomDIBControl& c) { return std::make_unique<TSwallowClicks>(c); });
  TDIBImage* deaf = AddImage(-1, TRect::FromSize(50, 0, 10, 10));
  int clicks = 0;
  deaf->OnClick = [&](TObject*) { ++clicks; };
  deaf->AddFeatureItem("TSwallowClicks");
  deaf->Loaded();
  Headless.InjectClick(Window, 55, 5);
  EXPECT_EQ(clicks, 0);
}
