// Files dropped on the album list: the drop handle read as the shell makes it,
// and the batch's refusals, all without a service.
#include <gtest/gtest.h>

#include "shell/win32/dropped_files.h"
#include "shell/win32/gui_support.h"

namespace guitest {
namespace {

using DropOnList = MainWindowTest;

TEST(HdropFiles, CountsAndNamesTheFilesInDropOrder) {
  win32::HdropFiles drop(makeDrop({"C:\\pictures\\b.jpg", "C:\\a.png", "D:\\x\\y\\z.gif"}, POINT{1, 1}), nullptr);
  EXPECT_EQ(drop.count(), 3);
  EXPECT_EQ(drop.path(0), "C:\\pictures\\b.jpg");
  EXPECT_EQ(drop.path(1), "C:\\a.png");
  EXPECT_EQ(drop.path(2), "D:\\x\\y\\z.gif");
  drop.finish();
  EXPECT_EQ(drop.count(), 0) << "a finished drop holds nothing";
}

TEST(HdropFiles, APathLongerThanTheBufferArrivesCutTo1023Characters) {
  const std::string longPath = "C:\\" + std::string(1500, 'd') + ".png";
  win32::HdropFiles drop(makeDrop({longPath, "C:\\short.png"}, POINT{1, 1}), nullptr);
  EXPECT_EQ(drop.path(0), longPath.substr(0, 1023));
  EXPECT_EQ(drop.path(1), "C:\\short.png");
}

TEST_F(DropOnList, TheAlbumUnderTheDropPointIsFoundAndBelowTheLastThereIsNone) {
  addDemoAlbums();
  auto& albums = desktop->albumListBox();
  const struct {
    POINT at;
    int index;
  } cases[] = {{{20, 1}, 0}, {{20, 49}, 0}, {{20, 50}, 1}, {{150, 75}, 1}, {{20, 199}, 3}, {{20, 260}, -1}};
  for (const auto& c : cases) {
    win32::HdropFiles drop(makeDrop({"C:\\a.png"}, c.at), list());
    EXPECT_EQ(drop.albumIndex(albums), c.index) << "at y " << c.at.y;
  }
}

TEST_F(DropOnList, WithNobodySignedInTheDropIsRefused) {
  addDemoAlbums();
  ModalDriver driver;
  driver.answer("Login Error", IDOK);
  SendMessageA(list(), WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop({"C:\\a.png"}, POINT{20, 75})), 0);
  pumpMessages(20);
  ASSERT_EQ(driver.boxes.size(), 1u);
  EXPECT_EQ(driver.boxes[0].text, "You aren't logged in yet!\r\n\r\nLog in first before uploading.");
  EXPECT_TRUE(desktop->progress.empty());
  EXPECT_TRUE(driver.unexpected.empty());
}

TEST_F(DropOnList, AnsweringNoToThePromptShowsNoProgressAndSendsNothing) {
  addDemoAlbums();
  state().signedIn = true;  // the service is never asked: the batch ends at the prompt
  ModalDriver driver;
  driver.answer("Are you sure?", IDNO);
  SendMessageA(list(), WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop({"C:\\a.png"}, POINT{20, 75})), 0);
  SendMessageA(list(), WM_DROPFILES,
               reinterpret_cast<WPARAM>(makeDrop({"C:\\a.png", "C:\\b.png", "C:\\c.png"}, POINT{20, 125})), 0);
  pumpMessages(20);
  ASSERT_EQ(driver.boxes.size(), 2u);
  EXPECT_EQ(driver.boxes[0].text, "Upload 1 image to album\r\nHoliday?");
  EXPECT_EQ(driver.boxes[1].text, "Upload 3 images to album\r\nCats & Dogs?");
  EXPECT_TRUE(desktop->progress.empty());
  EXPECT_TRUE(driver.unexpected.empty());
}

TEST_F(DropOnList, AHandlerThatThrowsEndsAtTheWindowsEdgeAndLaterDropsStillWork) {
  addDemoAlbums();
  state().signedIn = true;
  state().promptBeforeUpload = false;
  desktop->failProgress = true;
  // The batch throws inside the drop's handling; the window procedure answers
  // as the default procedure would, and the window goes on.
  EXPECT_EQ(SendMessageA(hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop({"C:\\a.png"}, POINT{20, 75})), 0),
            0);
  EXPECT_TRUE(IsWindow(hwnd()));

  desktop->failProgress = false;
  state().promptBeforeUpload = true;
  ModalDriver driver;
  driver.answer("Are you sure?", IDNO);
  SendMessageA(hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop({"C:\\a.png"}, POINT{20, 75})), 0);
  pumpMessages(20);
  ASSERT_EQ(driver.boxes.size(), 1u) << "the next drop is taken, not refused as nested";
  EXPECT_EQ(driver.boxes[0].text, "Upload 1 image to album\r\nHoliday?");
}

}  // namespace
}  // namespace guitest
