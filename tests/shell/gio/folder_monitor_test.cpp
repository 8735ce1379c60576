// What GNOME Files, Nemo and Caja show of a folder is what GIO's folder
// monitor tells them: each keeps a list of the folder's names and follows
// the monitor's events. Locking and unlocking rewrite a file in place; the
// file's name must still be in such a list afterwards, or the file seems
// deleted until the user reloads. A real GFileMonitor (inotify) on a real
// folder, and the real sealdoor-cli.

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {
namespace fs = std::filesystem;

// A file manager's list of the folder, kept from the monitor's events the
// way each flag asks it to be read.
struct View {
  const char* kind;
  std::set<std::string> names;
  GFileMonitor* monitor = nullptr;

  static void Changed(GFileMonitor*, GFile* file, GFile* other, GFileMonitorEvent event, gpointer self) {
    auto& names = static_cast<View*>(self)->names;
    auto name = [](GFile* f) {
      char* base = g_file_get_basename(f);
      std::string out = base;
      g_free(base);
      return out;
    };
    switch (event) {
      case G_FILE_MONITOR_EVENT_CREATED:
      case G_FILE_MONITOR_EVENT_MOVED_IN:
        names.insert(name(file));
        break;
      case G_FILE_MONITOR_EVENT_DELETED:
      case G_FILE_MONITOR_EVENT_MOVED_OUT:
        names.erase(name(file));
        break;
      case G_FILE_MONITOR_EVENT_MOVED:
      case G_FILE_MONITOR_EVENT_RENAMED:
        names.erase(name(file));
        if (other) names.insert(name(other));
        break;
      default:
        break;
    }
  }
};

std::set<std::string> Listing(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class GioFolderMonitor : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string made = (fs::temp_directory_path() / "sealdoor-monitor-XXXXXX").string();
    ASSERT_NE(::mkdtemp(made.data()), nullptr);
    folder_ = made;
    std::mt19937 random(7);
    for (const char* name : {"report.txt", "photo 1.jpg", "notes"}) {
      std::string bytes(1000 + random() % 5000, '\0');
      for (char& c : bytes) c = static_cast<char>(random());
      std::ofstream(folder_ / name, std::ios::binary) << bytes;
      original_[name] = bytes;
    }
    GFile* dir = g_file_new_for_path(folder_.c_str());
    const std::pair<const char*, GFileMonitorFlags> kinds[] = {
        {"no flags", G_FILE_MONITOR_NONE},
        {"SEND_MOVED", G_FILE_MONITOR_SEND_MOVED},
        {"WATCH_MOVES", G_FILE_MONITOR_WATCH_MOVES},
    };
    for (const auto& [kind, flags] : kinds) {
      View& view = views_.emplace_back();
      view.kind = kind;
      view.names = Listing(folder_);
      view.monitor = g_file_monitor_directory(dir, flags, nullptr, nullptr);
      ASSERT_NE(view.monitor, nullptr);
    }
    for (View& view : views_) g_signal_connect(view.monitor, "changed", G_CALLBACK(View::Changed), &view);
    g_object_unref(dir);
  }

  void TearDown() override {
    for (View& view : views_) {
      g_file_monitor_cancel(view.monitor);
      g_object_unref(view.monitor);
    }
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  // sealdoor-cli on the files, the password on its standard input.
  void Cli(const char* command, const std::vector<std::string>& names) {
    std::vector<const char*> argv = {SEALDOOR_CLI, command, "--password-stdin", "--quiet", "--"};
    std::vector<std::string> paths;
    for (const auto& n : names) paths.push_back((folder_ / n).string());
    for (const auto& p : paths) argv.push_back(p.c_str());
    argv.push_back(nullptr);
    GError* error = nullptr;
    GSubprocess* cli = g_subprocess_newv(argv.data(), G_SUBPROCESS_FLAGS_STDIN_PIPE, &error);
    ASSERT_NE(cli, nullptr) << (error ? error->message : "");
    ASSERT_TRUE(g_subprocess_communicate_utf8(cli, "Secret7\n", nullptr, nullptr, nullptr, &error));
    EXPECT_EQ(g_subprocess_get_exit_status(cli), 0) << command;
    g_object_unref(cli);
  }

  // Everything the work made the monitors say has been said once they have
  // told of a name made after it: the kernel keeps a folder's events in
  // order, and so does GIO.
  void Settle() {
    const std::string mark = "settled-" + std::to_string(++marks_);
    std::ofstream(folder_ / mark) << "";
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    auto told = [&] {
      for (const View& view : views_)
        if (!view.names.contains(mark)) return false;
      return true;
    };
    while (!told() && std::chrono::steady_clock::now() < limit) g_main_context_iteration(nullptr, FALSE);
    ASSERT_TRUE(told()) << "the monitors never told of " << mark;
  }

  void ExpectViewsHoldTheFolder(const char* after) {
    Settle();
    const std::set<std::string> truth = Listing(folder_);
    for (const View& view : views_) {
      EXPECT_EQ(view.names, truth) << "after " << after << ", a monitor with " << view.kind;
    }
  }

  fs::path folder_;
  std::map<std::string, std::string> original_;
  std::vector<View> views_;
  int marks_ = 0;
};

TEST_F(GioFolderMonitor, AFileLockedAndUnlockedStaysInView) {
  ExpectViewsHoldTheFolder("nothing");
  Cli("lock", {"report.txt"});
  EXPECT_NE(Read(folder_ / "report.txt"), original_["report.txt"]);
  ExpectViewsHoldTheFolder("a lock");
  Cli("unlock", {"report.txt"});
  EXPECT_EQ(Read(folder_ / "report.txt"), original_["report.txt"]);
  ExpectViewsHoldTheFolder("an unlock");
}

TEST_F(GioFolderMonitor, ABatchLockedAndUnlockedStaysInView) {
  const std::vector<std::string> all = {"report.txt", "photo 1.jpg", "notes"};
  Cli("lock", all);
  ExpectViewsHoldTheFolder("a batch's lock");
  Cli("unlock", all);
  for (const auto& name : all) EXPECT_EQ(Read(folder_ / name), original_[name]) << name;
  ExpectViewsHoldTheFolder("a batch's unlock");
}

}  // namespace
