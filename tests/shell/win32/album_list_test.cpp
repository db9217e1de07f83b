// The album list: items in the order added, owning their albums; the bands as
// the screen shows them; and the files dropped on it.
#include <gtest/gtest.h>

#include "shell/win32/dropped_files.h"
#include "shell/win32/gui_support.h"

namespace guitest {
namespace {

using AlbumList = MainWindowTest;

// An album that counts how many of its kind exist.
struct CountedAlbum : app::Album {
  explicit CountedAlbum(int32_t id) : app::Album(id, "a", "") { ++alive; }
  ~CountedAlbum() override { --alive; }
  static int alive;
};
int CountedAlbum::alive = 0;

TEST_F(AlbumList, ItsAlbumsGoWhenItIsClearedAndWhenTheWindowGoes) {
  auto& albums = desktop->albumListBox();
  for (int key : {13, 0, 110}) albums.addAlbum(std::to_string(key), std::make_unique<CountedAlbum>(key));
  EXPECT_EQ(albums.album(1)->id, 0);
  albums.clear();
  EXPECT_EQ(CountedAlbum::alive, 0);
  EXPECT_EQ(albums.count(), 0);
  albums.addAlbum("1", std::make_unique<CountedAlbum>(1));
  window.reset();
  desktop.reset();
  EXPECT_EQ(CountedAlbum::alive, 0);
}

TEST_F(AlbumList, BandsAlternateLightBlueAndLightYellowWithTheTextOnThem) {
  addDemoAlbums();
  SendMessageA(list(), LB_SETCURSEL, 1, 0);  // a selected band keeps its colour
  RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  pumpMessages(100);
  const Image shown = captureWindow(list());
  ASSERT_GE(shown.height, 211);
  // Right of the text and clear of the focus rectangle's line.
  for (int y : {4, 45, 54, 95, 104, 145, 154, 195}) {
    EXPECT_EQ(shown.at(150, y), y / 50 % 2 ? 0xFFFFCCu : 0xCCE6FFu) << "at y " << y;
  }
  EXPECT_NE(shown.at(150, 210), 0xCCE6FFu) << "below the last band, the list's own background";
  EXPECT_NE(shown.at(150, 210), 0xFFFFCCu);
  // The name 10 pixels in and 10 down, the description 15 lower, in the dark
  // text colour; nothing dark left of them, nor where "Work" has no description.
  auto dark = [&](int left, int top, int right, int bottom) {
    int n = 0;
    for (int y = top; y < bottom; ++y) {
      for (int x = left; x < right; ++x) n += (shown.at(x, y) & 0xC0C0C0) == 0;  // each channel below 0x40
    }
    return n;
  };
  EXPECT_GT(dark(10, 10, 60, 24), 5) << "the name \"Private\"";
  EXPECT_GT(dark(10, 25, 90, 40), 5) << "the description \"Private Folder\"";
  EXPECT_EQ(dark(2, 2, 9, 48) + dark(10, 175, 140, 190), 0);
  saveScreenshot("main-window", captureWindow(hwnd()));
}

TEST(DroppedFiles, APathArrivesWholeInUtf8HoweverLong) {
  const std::string longPath = "C:\\" + std::string(1500, 'd') + "\xCF\x88.png";  // psi: not in the code page
  win32::HdropFiles drop(makeDrop({longPath}, POINT{1, 1}), nullptr);
  EXPECT_EQ(drop.count(), 1);
  EXPECT_EQ(drop.path(0), longPath);
}

TEST_F(AlbumList, AHandlerThatThrowsEndsAtTheWindowsEdgeAndLaterDropsStillWork) {
  addDemoAlbums();
  state().signedIn = true;
  state().promptBeforeUpload = false;
  desktop->failProgress = true;
  // The batch throws inside the drop's handling; the window procedure answers
  // as the default procedure would, and the window goes on.
  drop({"C:\\a.png"}, POINT{20, 75});
  EXPECT_TRUE(IsWindow(hwnd()));

  desktop->failProgress = false;
  state().promptBeforeUpload = true;
  ModalDriver driver;
  driver.answer("Are you sure?", IDNO);
  drop({"C:\\a.png"}, POINT{20, 75});
  EXPECT_EQ(driver.boxes, std::vector<std::string>{"Upload 1 image to album\r\nHoliday?"})
      << "the next drop is taken, not refused as nested";
}

}  // namespace
}  // namespace guitest
