// The album list box: item order and ownership of the albums, the owner-drawn
// bands as the screen shows them, and a screenshot of the filled window.
#include <gtest/gtest.h>

#include "shell/win32/album_list_box.h"
#include "shell/win32/gui_support.h"
#include "shell/win32/png_writer.h"

namespace guitest {
namespace {

using AlbumList = MainWindowTest;

// An album that counts how many of its kind exist.
class CountedAlbum : public app::Album {
 public:
  CountedAlbum(int32_t id, const char* name) : app::Album(id, name, "") { ++alive; }
  ~CountedAlbum() override { --alive; }
  static int alive;
};
int CountedAlbum::alive = 0;

int channelDistance(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int shift : {0, 8, 16}) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    worst = std::max(worst, d < 0 ? -d : d);
  }
  return worst;
}

// The list as the screen shows it, in the list's own coordinates.
Image showList(HWND list) {
  RedrawWindow(GetParent(list), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  pumpMessages(100);
  return captureWindow(list);
}

TEST_F(AlbumList, KeepsTheOrderOfAddingNotTheOrderOfTheTexts) {
  auto& albums = desktop->albumListBox();
  albums.addAlbum("13", std::make_unique<app::Album>(13, "Work", ""));
  albums.addAlbum("0", std::make_unique<app::Album>(0, "Private", "Private Folder"));
  albums.addAlbum("110", std::make_unique<app::Album>(110, "Holiday", "Sea"));
  albums.addAlbum("11", std::make_unique<app::Album>(11, "Garden", ""));
  ASSERT_EQ(albums.count(), 4);
  EXPECT_EQ(albums.itemText(0), "13");
  EXPECT_EQ(albums.itemText(1), "0");
  EXPECT_EQ(albums.itemText(2), "110");
  EXPECT_EQ(albums.itemText(3), "11");
  ASSERT_NE(albums.album(2), nullptr);
  EXPECT_EQ(albums.album(2)->id, 110);
  EXPECT_EQ(albums.album(2)->name, "Holiday");
  EXPECT_EQ(albums.album(1)->description, "Private Folder");
  // The control itself holds the texts and the albums.
  char text[8] = {};
  SendMessageA(list(), LB_GETTEXT, 3, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "11");
  EXPECT_EQ(reinterpret_cast<const app::Album*>(SendMessageA(list(), LB_GETITEMDATA, 3, 0)), albums.album(3));
}

TEST_F(AlbumList, OutsideTheItemsThereIsNoTextAndNoAlbum) {
  auto& albums = desktop->albumListBox();
  EXPECT_EQ(albums.count(), 0);
  EXPECT_EQ(albums.album(0), nullptr);
  EXPECT_EQ(albums.selectedIndex(), -1);
  addDemoAlbums();
  EXPECT_EQ(albums.itemText(-1), "");
  EXPECT_EQ(albums.itemText(4), "");
  EXPECT_EQ(albums.album(-1), nullptr);
  EXPECT_EQ(albums.album(4), nullptr);
  SendMessageA(list(), LB_SETCURSEL, 3, 0);
  EXPECT_EQ(albums.selectedIndex(), 3);
}

TEST_F(AlbumList, ClearingDestroysEveryAlbumAndSoDoesTheEndOfTheList) {
  auto& albums = desktop->albumListBox();
  for (int i = 0; i < 5; ++i) albums.addAlbum(std::to_string(i), std::make_unique<CountedAlbum>(i, "a"));
  EXPECT_EQ(CountedAlbum::alive, 5);
  albums.clear();
  EXPECT_EQ(CountedAlbum::alive, 0);
  EXPECT_EQ(albums.count(), 0);
  EXPECT_EQ(SendMessageA(list(), LB_GETCOUNT, 0, 0), 0);

  // Refilled, then the window and the list go: the albums go with them.
  for (int i = 0; i < 3; ++i) albums.addAlbum(std::to_string(i), std::make_unique<CountedAlbum>(i, "b"));
  EXPECT_EQ(CountedAlbum::alive, 3);
  window.reset();
  desktop.reset();
  EXPECT_EQ(CountedAlbum::alive, 0);
}

TEST_F(AlbumList, EveryItemIsA50PixelBand) {
  addDemoAlbums();
  for (int i = 0; i < 4; ++i) {
    RECT item{};
    SendMessageA(list(), LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(item.top, 50 * i);
    EXPECT_EQ(item.bottom - item.top, 50);
  }
}

TEST_F(AlbumList, AnEmptyListDrawsNothingAndAnswersTrue) {
  HDC dc = GetDC(list());
  DRAWITEMSTRUCT draw{};
  draw.CtlType = ODT_LISTBOX;
  draw.CtlID = 107;
  draw.itemID = static_cast<UINT>(-1);
  draw.itemAction = ODA_DRAWENTIRE;
  draw.hwndItem = list();
  draw.hDC = dc;
  draw.rcItem = RECT{0, 0, 100, 50};
  SetPixel(dc, 20, 20, RGB(1, 2, 3));
  EXPECT_EQ(desktop->albumListBox().drawItem(107, &draw), TRUE);
  EXPECT_EQ(GetPixel(dc, 20, 20), RGB(1, 2, 3));
  ReleaseDC(list(), dc);
}

TEST_F(AlbumList, BandsAlternateLightBlueAndLightYellowWithTheTextOnThem) {
  addDemoAlbums();
  SendMessageA(list(), LB_SETCURSEL, 1, 0);  // a selected band keeps its colour
  const Image shown = showList(list());
  ASSERT_GE(shown.height, 200);
  const uint32_t blue = rgbOf(win32::AlbumListBox::kEvenBand);
  const uint32_t yellow = rgbOf(win32::AlbumListBox::kOddBand);
  EXPECT_EQ(blue, 0xCCE6FFu);
  EXPECT_EQ(yellow, 0xFFFFCCu);
  // Right of the text and clear of the focus rectangle's line.
  const int x = 150;
  for (int band = 0; band < 4; ++band) {
    const uint32_t expected = band % 2 == 0 ? blue : yellow;
    for (int y : {band * 50 + 4, band * 50 + 25, band * 50 + 45}) {
      EXPECT_EQ(shown.at(x, y), expected) << "band " << band << " at y " << y;
    }
  }
  // Below the last band the list's own background shows.
  EXPECT_NE(shown.at(x, 210), blue);
  EXPECT_NE(shown.at(x, 210), yellow);

  // The name starts 10 pixels in and 10 down, the description 15 lower; both in
  // the dark text colour, nothing darker left of them.
  auto darkIn = [&](int left, int top, int right, int bottom) {
    int dark = 0;
    for (int y = top; y < bottom; ++y) {
      for (int px = left; px < right; ++px) {
        if (channelDistance(shown.at(px, y), 0x141414) < 0x40) ++dark;
      }
    }
    return dark;
  };
  EXPECT_GT(darkIn(10, 10, 60, 24), 5) << "the name \"Private\"";
  EXPECT_GT(darkIn(10, 25, 90, 40), 5) << "the description \"Private Folder\"";
  EXPECT_EQ(darkIn(2, 2, 9, 48), 0) << "nothing left of the text";
  EXPECT_EQ(darkIn(10, 150 + 25, 140, 150 + 40), 0) << "\"Work\" has no description";

  saveScreenshot("main-window.png", captureWindow(hwnd()));
}

}  // namespace
}  // namespace guitest
