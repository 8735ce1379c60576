#include "test_support.h"

#include "engine/form1.h"
#include "engine/format.h"
#include "engine/path_text.h"
#include "engine/scramble.h"
#include "engine/temp_names.h"
#include "text/action_texts.h"
#include "text/notices.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace sealdoor::test {

namespace fs = std::filesystem;

void RecordingPort::ShowFile(Action action, std::string_view nopath) {
  SetCaption(Caption::Label18, text::TextsOf(action).operation);
  SetCaption(Caption::Label16, nopath);
}

void RecordingPort::SetCaption(Caption which, std::string_view text) {
  static constexpr const char* names[] = {"Label18", "Label16", "Label21", "Label22"};
  calls.push_back(std::string(names[static_cast<int>(which)]) + " = " + std::string(text));
}

void RecordingPort::SetBarWidth(Bar which, int twips) {
  calls.push_back(std::string(which == Bar::File ? "file bar" : "overall bar") + " = " +
                  std::to_string(twips));
}

void RecordingPort::Report(const Notice& notice) {
  notices.push_back(notice);
  const text::Message m = text::Describe(notice).message;
  messages.emplace_back(m.text, m.style);
  calls.push_back("message " + std::to_string(static_cast<int>(m.style)) + ": " + m.text);
}

void RunEngine(Outcome& o, const fs::path& path, bool lock, const std::string& password) {
  o.port.password = password;
  Form1 engine(o.port, o.counters);
  o.result = lock ? engine.LockIt(path, path.filename().string()) : engine.UnlockIt(path, path.filename().string());
}

bool Lock(const fs::path& p, const std::string& password) {
  Outcome o;
  RunEngine(o, p, true, password);
  return o.result;
}

bool Unlock(const fs::path& p, const std::string& password) {
  Outcome o;
  RunEngine(o, p, false, password);
  return o.result;
}

ScratchDir::ScratchDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path p = fs::temp_directory_path() / ("sealdoor-test-" + std::to_string(rd()));
    if (fs::create_directory(p)) {
      path_ = p;
      return;
    }
  }
  throw std::runtime_error("no scratch folder");
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  // Undo read-only folders a test may have left, so everything goes.
  for (auto it = fs::recursive_directory_iterator(path_, ec); it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_directory(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::vector<std::string> ScratchDir::Names() const {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::uint8_t> ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + p.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + p.string());
}

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>(gen());
  return v;
}

bool IsLockedFormOf(const std::vector<std::uint8_t>& bytes, const std::vector<std::uint8_t>& plain,
                    const std::string& password) {
  if (bytes.size() != plain.size() + format::kHead || !format::IsLocked(bytes)) return false;
  if (format::ReadStoredPassword(std::span<const std::uint8_t, format::kHead>(bytes.data(), format::kHead)) !=
      password)
    return false;
  std::vector<std::uint8_t> scrambled = plain;
  format::ScrambleInPlace(scrambled);
  return std::equal(scrambled.begin(), scrambled.end(), bytes.begin() + format::kHead);
}

fs::path DataFile(const std::string& name) { return fs::path(SEALDOOR_TEST_DATA) / name; }

std::vector<std::string> Housekeeping(const fs::path& folder) {
  std::vector<std::string> found;
  for (const auto& e : fs::directory_iterator(folder)) {
    std::string name = PathText(e.path().filename());
    if (IsHousekeepingName(name)) found.push_back(std::move(name));
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace sealdoor::test
