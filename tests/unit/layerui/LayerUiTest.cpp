// Control trees painted into a 32-bit bitmap, and mouse input routed through the root view.
#include <gtest/gtest.h>
#include "layerui/LayerControls.h"
#include "layerui/LayerResource.h"
#include "tests/unit/layerui/LayerTestSupport.h"

namespace {
constexpr DWORD kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;
// Controls fill at alpha 254; the surface holds premultiplied values.
constexpr DWORD kFillRed = 0xFE0000, kFillGreen = 0x00FE00, kFillBlue = 0x0000FE;

class LayerUi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gdiplus_ = new GdiplusScope; }
  static void TearDownTestSuite() { delete gdiplus_; }
  void SetUp() override {
    ASSERT_TRUE(gdiplus_->ok());
    ASSERT_TRUE(strip_.LoadFromResource(1, ::GetModuleHandleW(nullptr), L"PNG"));
    ASSERT_TRUE(grid_.LoadFromResource(2, ::GetModuleHandleW(nullptr), L"PNG"));
    root_.Create(nullptr, &window_, -1, RECT{0, 0, 100, 100}, 0);
  }
  template <class C>
  C* Add(CLayerControlGroup* group, int id, RECT r) {
    auto* c = new C;
    c->Create(nullptr, &window_, id, r, 0);
    group->AddChild(c);
    return c;
  }
  static GdiplusScope* gdiplus_;
  CImage strip_{3};
  CImage grid_{1};
  FakeLayerWindow window_;
  CLayerControlRootView root_;
};
GdiplusScope* LayerUi::gdiplus_ = nullptr;

TEST_F(LayerUi, ButtonDrawsTheFrameOfItsStateAndFramesPastTheStripDrawFrameZero) {
  auto* b = Add<CLayerButtonCtrl>(&root_, 5, RECT{0, 0, 10, 10});
  b->SetImage(&strip_);
  struct { bool enabled, hover, pressed; DWORD colour; } cases[] = {
      {true, false, false, kRed}, {true, true, false, kGreen}, {true, true, true, kBlue},
      {false, true, true, kRed}};  // disabled = frame 3, past the three-frame strip
  for (const auto& c : cases) {
    Surface s(10, 10);
    b->SetEnabled(TRUE, FALSE);
    if (c.hover) b->OnMouseEnter(0, 1, 1); else b->OnMouseLeave();
    BOOL h = TRUE;
    if (c.pressed) b->OnLButtonDown(0, 1, 1, h);
    b->SetEnabled(c.enabled, FALSE);
    root_.Paint(s.dc.get());
    EXPECT_EQ(s.Rgb(5, 5), c.colour) << c.enabled << c.hover << c.pressed;
    EXPECT_EQ(s.At(5, 5) >> 24, 0xFFu);
    if (c.pressed) b->OnLButtonUp(0, 1, 1, h);
  }
}

TEST_F(LayerUi, FrameDrawingTakesAsManyColumnsAsTheDestinationIsWide) {
  Surface s(30, 10);
  strip_.DrawFrame(s.dc.get(), 0, 0, 10, 10, 5);  // frame 5 of 3 draws frame 0
  EXPECT_EQ(s.Rgb(5, 5), kRed);
  strip_.DrawFrame(s.dc.get(), 10, 0, 20, 10, 1);  // wider: frame 1, then frame 2's columns
  EXPECT_EQ(s.Rgb(12, 5), kGreen);
  EXPECT_EQ(s.Rgb(25, 5), kBlue);
}

TEST_F(LayerUi, NineGridKeepsCornersAndStretchesEdgesAndCentre) {
  Surface s(40, 30);
  DrawImageNineGrid(s.dc.get(), &grid_, RECT{0, 0, 40, 30}, RECT{3, 3, 6, 6});
  struct { int x, y; DWORD rgb; } px[] = {
      {1, 1, 0xFF0000},   {20, 1, 0x00FF00},  {38, 1, 0x0000FF},  {1, 15, 0xFFFF00}, {20, 15, 0xFF00FF},
      {38, 15, 0x00FFFF}, {1, 28, 0x800000}, {20, 28, 0x008000}, {38, 28, 0x000080}, {3, 3, 0xFF00FF},
      {2, 2, 0xFF0000},   {36, 26, 0xFF00FF}, {37, 27, 0x000080}};
  for (const auto& p : px) EXPECT_EQ(s.Rgb(p.x, p.y), p.rgb) << p.x << "," << p.y;
}

TEST_F(LayerUi, NineGridWithTheWholeImageAsCentreStretchesIt) {
  Surface s(18, 18);
  DrawImageNineGrid(s.dc.get(), &grid_, RECT{0, 0, 18, 18}, RECT{0, 0, 9, 9});
  EXPECT_EQ(s.Rgb(1, 1), 0xFF0000u);
  EXPECT_EQ(s.Rgb(5, 5), 0xFF0000u);  // the 3x3 corner block is now 6x6
  EXPECT_EQ(s.Rgb(16, 16), 0x000080u);
}

TEST_F(LayerUi, ProgressBarLengthFollowsPositionWithAOnePercentMinimum) {
  struct { unsigned long long range, pos; int last_filled; } cases[] = {
      {100, 200, 99}, {100, 0, -1}, {1000, 1, 0}, {100, 50, 49}, {0, 5, -1}};
  for (const auto& c : cases) {
    Surface s(100, 10);
    CLayerProgress p;
    p.Create(nullptr, &window_, 1, RECT{0, 0, 100, 10}, 0);
    p.SetBackColor(RGB(0, 0, 255), FALSE);
    p.SetBarColor(RGB(255, 0, 0), FALSE);
    p.SetRange(c.range, FALSE);
    p.SetPos(c.pos, FALSE);
    p.Paint(s.dc.get());
    if (c.last_filled >= 0) {
      EXPECT_EQ(s.Rgb(c.last_filled, 5), kFillRed) << c.range << "/" << c.pos;
    }
    if (c.last_filled + 1 < 100) {
      EXPECT_EQ(s.Rgb(c.last_filled + 1, 5), kFillBlue) << c.range << "/" << c.pos;
    }
  }
}

TEST_F(LayerUi, TextAtAlphaZeroDrawsNothingAndAt254DrawsNearlyOpaque) {
  Gdiplus::Font font(Gdiplus::FontFamily::GenericSansSerif(), 14.0f, 0, Gdiplus::UnitPixel);
  ASSERT_EQ(font.GetLastStatus(), Gdiplus::Ok);
  Surface s(60, 20);
  DrawLayerText(s.dc.get(), L"Lumetta", RECT{0, 0, 60, 20}, &font, RGB(0, 0, 0), 0x1011, 0);
  bool any = false;
  for (int i = 0; i < 60 * 20; ++i) any |= s.bits[i] != 0;
  EXPECT_FALSE(any);
  DrawLayerText(s.dc.get(), L"Lumetta", RECT{0, 0, 60, 20}, &font, RGB(0, 0, 0), 0x1011, 254);
  DWORD max_alpha = 0;
  for (int i = 0; i < 60 * 20; ++i) max_alpha = std::max<DWORD>(max_alpha, s.bits[i] >> 24);
  EXPECT_GE(max_alpha, 200u);
}

TEST_F(LayerUi, MeasureCountsTrailingBlanksAndAddsOne) {
  Gdiplus::Font font(Gdiplus::FontFamily::GenericSansSerif(), 14.0f, 0, Gdiplus::UnitPixel);
  SIZE plain = MeasureLayerText(nullptr, L"ab", &font, SIZE{500, 100}, 0);
  SIZE blanks = MeasureLayerText(nullptr, L"ab   ", &font, SIZE{500, 100}, 0);
  EXPECT_GT(plain.cx, 1);
  EXPECT_GT(blanks.cx, plain.cx);
}

TEST_F(LayerUi, GroupsPaintLaterChildrenOverEarlierAndSkipInvisibleOnes) {
  auto* group = Add<CLayerControlGroup>(&root_, 9, RECT{20, 0, 60, 20});
  auto* first = Add<CLayerButtonCtrl>(group, 1, RECT{0, 0, 10, 10});
  first->SetStateBackColors(RGB(255, 0, 0), RGB(255, 0, 0), RGB(255, 0, 0), RGB(255, 0, 0));
  auto* second = Add<CLayerButtonCtrl>(group, 2, RECT{5, 0, 15, 10});
  second->SetStateBackColors(RGB(0, 255, 0), RGB(0, 255, 0), RGB(0, 255, 0), RGB(0, 255, 0));
  auto* hidden = Add<CLayerButtonCtrl>(group, 3, RECT{0, 0, 40, 20});
  hidden->SetStateBackColors(RGB(0, 0, 255), RGB(0, 0, 255), RGB(0, 0, 255), RGB(0, 0, 255));
  hidden->SetVisible(FALSE, FALSE);
  Surface s(100, 30);
  root_.Paint(s.dc.get());
  EXPECT_EQ(s.Rgb(22, 5), kFillRed);     // group origin moves its children
  EXPECT_EQ(s.Rgb(27, 5), kFillGreen);   // the later child wins where they overlap
  EXPECT_EQ(s.At(50, 15), 0u);       // the hidden child painted nothing
  EXPECT_EQ(s.At(2, 5), 0u);
}

TEST_F(LayerUi, ReleaseGoesToThePressedButtonWhereverTheMouseIs) {
  Add<CLayerButtonCtrl>(&root_, 7, RECT{10, 10, 30, 30});
  BOOL handled = TRUE;
  root_.OnLButtonDown(0, 15, 15, handled);
  EXPECT_TRUE(handled);  // a button is not drag-through
  ASSERT_NE(root_.GetPressedChild(), nullptr);
  root_.OnLButtonUp(0, 90, 90, handled);
  EXPECT_EQ(root_.GetPressedChild(), nullptr);
  EXPECT_EQ(window_.CommandIds(), std::vector<int>{7});
}

TEST_F(LayerUi, DisabledControlsAreNotPressed) {
  auto* b = Add<CLayerButtonCtrl>(&root_, 7, RECT{10, 10, 30, 30});
  b->SetEnabled(FALSE, FALSE);
  BOOL handled = TRUE;
  root_.OnLButtonDown(0, 15, 15, handled);
  EXPECT_FALSE(handled);
  EXPECT_EQ(root_.GetPressedChild(), nullptr);
  root_.OnLButtonUp(0, 15, 15, handled);
  EXPECT_TRUE(window_.CommandIds().empty());
}

TEST_F(LayerUi, LabelsNotClickableNeverPostAndLetTheWindowDrag) {
  auto* image = Add<CLayerImageCtrl>(&root_, 3, RECT{0, 0, 50, 50});
  auto* label = Add<CLayerLabelCtrl>(&root_, 4, RECT{60, 0, 90, 20});
  BOOL handled = TRUE;
  root_.OnLButtonDown(0, 70, 10, handled);
  EXPECT_FALSE(handled);
  root_.OnLButtonUp(0, 70, 10, handled);
  EXPECT_TRUE(window_.CommandIds().empty());
  label->SetClickable(TRUE);
  EXPECT_FALSE(label->IsDragThrough());
  root_.OnLButtonDown(0, 70, 10, handled);
  root_.OnLButtonUp(0, 70, 10, handled);
  EXPECT_EQ(window_.CommandIds(), std::vector<int>{4});
  EXPECT_TRUE(image->IsDragThrough());
}

TEST_F(LayerUi, ClickOnAButtonOverAnImageGoesToTheButton) {
  Add<CLayerImageCtrl>(&root_, 3, RECT{0, 0, 50, 50})->SetClickable(TRUE);
  Add<CLayerButtonCtrl>(&root_, 8, RECT{10, 10, 30, 30});
  BOOL handled = TRUE;
  root_.OnLButtonDown(0, 15, 15, handled);
  root_.OnLButtonUp(0, 15, 15, handled);
  EXPECT_EQ(window_.CommandIds(), std::vector<int>{8});
}

TEST_F(LayerUi, RemovingTheHoveredControlClearsTheHover) {
  auto* b = Add<CLayerButtonCtrl>(&root_, 7, RECT{10, 10, 30, 30});
  root_.OnMouseMove(0, 15, 15);
  EXPECT_EQ(root_.GetHoverChild(), b);
  EXPECT_TRUE(b->IsHover());
  EXPECT_TRUE(root_.RemoveChild(b, TRUE, FALSE));
  EXPECT_EQ(root_.GetHoverChild(), nullptr);
  root_.OnMouseMove(0, 16, 16);  // must not touch the deleted control
  root_.OnMouseLeave();
  EXPECT_EQ(root_.ChildCount(), 0u);
}

TEST_F(LayerUi, TooltipFollowsTheHoveredControl) {
  auto* b = Add<CLayerButtonCtrl>(&root_, 7, RECT{10, 10, 30, 30});
  auto* c = Add<CLayerButtonCtrl>(&root_, 8, RECT{40, 10, 60, 30});
  b->SetToolTip(L"关闭");
  b->EnableToolTip(TRUE);
  c->EnableToolTip(TRUE);  // enabled but empty: hidden
  root_.OnMouseMove(0, 15, 15);
  root_.OnMouseMove(0, 45, 15);
  EXPECT_EQ(window_.tips, (std::vector<std::wstring>{L"关闭", L"<hidden>", L"<hidden>"}));
}

TEST_F(LayerUi, SetRectUnchangedDoesNothingAndMovesInvalidateWindowCoordinates) {
  auto* group = Add<CLayerControlGroup>(&root_, 9, RECT{20, 30, 80, 90});
  auto* b = Add<CLayerButtonCtrl>(group, 1, RECT{0, 0, 10, 10});
  window_.invalidated.clear();
  RECT same{0, 0, 10, 10};
  b->SetRect(&same, TRUE);
  EXPECT_TRUE(window_.invalidated.empty());
  b->MoveTo(5, 0, TRUE);
  ASSERT_EQ(window_.invalidated.size(), 1u);
  EXPECT_TRUE(::EqualRect(&window_.invalidated[0], std::vector<RECT>{{20, 30, 35, 40}}.data()));
}

TEST_F(LayerUi, CheckboxAutoToggleFlipsAndPosts) {
  auto* box = Add<CLayerCheckboxCtrl>(&root_, 1008, RECT{0, 0, 40, 40});
  box->SetCheck(TRUE, FALSE);
  BOOL handled = TRUE;
  root_.OnLButtonDown(0, 5, 5, handled);
  root_.OnLButtonUp(0, 5, 5, handled);
  EXPECT_FALSE(box->GetCheck());
  EXPECT_EQ(window_.CommandIds(), std::vector<int>{1008});
}

TEST_F(LayerUi, FirstChildWithAnIdKeepsTheIndex) {
  auto* a = Add<CLayerLabelCtrl>(&root_, 5, RECT{0, 0, 1, 1});
  Add<CLayerLabelCtrl>(&root_, 5, RECT{0, 0, 1, 1});
  EXPECT_EQ(root_.FindChild(5), a);
  EXPECT_EQ(root_.FindChild(6), nullptr);
  EXPECT_FALSE(root_.RemoveChildByID(6, TRUE, FALSE));
}

TEST_F(LayerUi, CacheKeepsTheFirstRegistrationAndReturnsNullForUnknownIds) {
  LayerResourceCache* cache = LayerResourceCache::Instance();
  EXPECT_TRUE(cache->RegisterImage(9001, 1, 3));
  EXPECT_FALSE(cache->RegisterImage(9001, 2, 1));
  CImage* image = cache->GetImage(9001, ::GetModuleHandleW(nullptr));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->Width(), 30);
  EXPECT_EQ(image->FrameWidth(), 10);
  EXPECT_EQ(cache->GetImage(-1, nullptr), nullptr);
  EXPECT_EQ(cache->GetImage(9002, nullptr), nullptr);
  EXPECT_TRUE(cache->RegisterImage(9003, 77, 1));  // no such resource: invalid, not retried
  ASSERT_NE(cache->GetImage(9003, ::GetModuleHandleW(nullptr)), nullptr);
  EXPECT_FALSE(cache->GetImage(9003, ::GetModuleHandleW(nullptr))->IsValid());
  EXPECT_FALSE(cache->RegisterImageFile(9004, L"", 1));
  EXPECT_TRUE(cache->RegisterFont(9005, L"No Such Face", 12, 0));
  EXPECT_NE(cache->GetFont(9005), nullptr);  // falls back to a generic face
  EXPECT_EQ(cache->GetFont(9006), nullptr);
  cache->ReleaseResources();
}

TEST(UIFontFace, ThePreferredFoundCandidateWins) {
  EXPECT_STREQ(UIFontFace::FaceForFlags(0), L"");
  EXPECT_STREQ(UIFontFace::FaceForFlags(32 | 8), L"宋体");
  EXPECT_STREQ(UIFontFace::FaceForFlags(63), L"微软雅黑");
  UIFontFace::Instance()->ChooseFace();
  // The test prefix maps the YaHei names to WenQuanYi Micro Hei.
  EXPECT_EQ(UIFontFace::Instance()->GetFaceName(), L"微软雅黑");
  EXPECT_NE(UIFontFace::Instance()->GetGdiFont(), nullptr);
}

}  // namespace
