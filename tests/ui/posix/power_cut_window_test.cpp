// The window's batch on a disk that keeps a file's content only once the
// file is synced: when the window says "Files locked !" or "Files
// Unlocked !", every file is so on the disk, whatever happens to the power
// next.

#include <gtest/gtest.h>

#include "../../engine/test_support.h"
#include "../recording_view.h"
#include "../service_fakes.h"
#include "engine/format.h"
#include "support/powercut_disk.h"

namespace sealdoor::test {
namespace {

namespace fs = std::filesystem;

TEST(PowerCut, WhatTheWindowSaysItDidIsOnTheDisk) {
  if (const auto why = PowerCutDisk::Unavailable()) GTEST_SKIP() << *why;
  PowerCutDisk disk;
  std::vector<std::string> names;
  std::vector<std::vector<std::uint8_t>> plain;
  for (int i = 0; i < 30; ++i) {
    names.push_back("doc" + std::to_string(i) + ".txt");
    plain.push_back(RandomBytes(static_cast<std::size_t>(i) * 997, static_cast<unsigned>(i)));
    WriteBytes(disk.Disk() / names.back(), plain.back());
  }
  // The dialog's answer for several files: the folder, then each name,
  // separated by NULs.
  std::string selection = disk.Mount().string();
  for (const auto& n : names) selection += std::string(1, '\0') + n;

  for (const bool lock : {true, false}) {
    ASSERT_TRUE(disk.Start());
    {
      RecordingView view;
      FakeMessages messages;
      FakePointer pointer;
      FakeDialog dialog;
      FakeStarter starter;
      ui::Form4 form{view, {messages, pointer, dialog, starter}};
      view.form = &form;
      form.Form_Load();
      view.Type("Window7");
      dialog.answers.push_back(selection);
      lock ? form.Command4_Click() : form.Command5_Click();
      ASSERT_EQ(messages.Texts(), std::vector<std::string>{lock ? "Files locked !" : "Files Unlocked !"});
    }
    disk.Cut();
    for (std::size_t i = 0; i < names.size(); ++i) {
      const auto now = ReadBytes(disk.Disk() / names[i]);
      EXPECT_EQ(format::IsLocked(now), lock) << names[i];
      EXPECT_EQ(now.size(), plain[i].size() + (lock ? format::kHead : 0)) << names[i];
      if (!lock) {
        EXPECT_EQ(now, plain[i]) << names[i];
      }
    }
  }
}

}  // namespace
}  // namespace sealdoor::test
