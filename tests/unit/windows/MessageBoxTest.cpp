// The message box's resources and its suppression switch.
#include <gtest/gtest.h>
#include "layerui/LayerResource.h"
#include "windows/MessageBox.h"

namespace {

TEST(LayerMessageBoxTest, SuppressedBoxesReturnMinusOneAtOnce) {
  SetMessageBoxSuppressed(1);
  for (int style : {0, 1, 4})
    EXPECT_EQ(LayerMessageBox(nullptr, L"安装或卸载程序已经在运行,点击“确定”退出", style), -1);
  SetMessageBoxSuppressed(0);
}

TEST(LayerMessageBoxTest, EveryPictureIsEmbeddedInChineseAtItsSizeAndFrameCount) {
  GdiplusScope gdiplus;
  ASSERT_TRUE(gdiplus.ok());
  struct { int id, w, h, frames; } table[] = {
      {237, 319, 40, 3},  {238, 54, 18, 3},   {239, 144, 18, 8}, {240, 112, 14, 8},  {241, 319, 40, 3},
      {242, 288, 32, 3},  {244, 542, 255, 1}, {245, 160, 20, 8}, {246, 10, 30, 1},   {247, 489, 23, 1},
      {248, 489, 23, 1},  {252, 60, 60, 1},   {300, 542, 360, 1}, {301, 54, 18, 3},  {302, 60, 6, 3},
      {304, 889, 41, 3},  {305, 542, 468, 1}, {306, 542, 380, 1}, {307, 288, 32, 3}, {308, 1600, 108, 8},
      {309, 1600, 108, 8}, {310, 1600, 108, 8}, {311, 1600, 108, 8}, {312, 76, 76, 1}, {313, 404, 264, 1},
      {314, 543, 416, 1}, {315, 479, 223, 1}, {316, 69, 23, 3},  {319, 540, 341, 1}, {320, 96, 96, 1},
      {321, 85, 80, 1},   {322, 540, 463, 1}, {323, 288, 32, 3}};
  UIFontFace::Instance()->ChooseFace();
  ResInitializer init;
  HMODULE self = ::GetModuleHandleW(nullptr);
  for (const auto& e : table) {
    EXPECT_NE(::FindResourceExW(self, L"PNG", MAKEINTRESOURCEW(e.id), MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)),
              nullptr) << e.id;
    CImage* image = LayerResourceCache::Instance()->GetImage(e.id, self);
    ASSERT_NE(image, nullptr) << e.id;
    EXPECT_TRUE(image->IsValid()) << e.id;
    EXPECT_EQ(image->Width(), e.w) << e.id;
    EXPECT_EQ(image->Height(), e.h) << e.id;
    EXPECT_EQ(image->FrameCount(), e.frames) << e.id;
  }
  EXPECT_NE(::FindResourceW(self, MAKEINTRESOURCEW(249), RT_DIALOG), nullptr);
  for (int id = 1001; id <= 1012; ++id) EXPECT_NE(LayerResourceCache::Instance()->GetFont(id), nullptr) << id;
  EXPECT_NE(LayerResourceCache::Instance()->GetCursor(1001), nullptr);
  LayerResourceCache::Instance()->ReleaseResources();
}

}  // namespace
