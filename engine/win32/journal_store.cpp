#include "journal_store.h"

#include "engine/win32/windows_h.h"
#include "unique_handle.h"
#include "wide.h"

namespace sealdoor {
namespace {

std::unexpected<Failure> LastError() { return std::unexpected(Failure::System(static_cast<int>(::GetLastError()))); }

class Win32JournalStore final : public JournalStore {
 public:
  explicit Win32JournalStore(std::wstring folder) : folder_(std::move(folder)), id_(win32::Narrow(folder_)) {}

  const std::string& FolderId() const override { return id_; }

  std::expected<void, Failure> Create(const std::string& name) override {
    // Not shared: another run that finds it cannot open it while we live,
    // and so never takes it for the journal of a dead run.
    win32::UniqueHandle file(::CreateFileW(Path(name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                           CREATE_NEW, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED,
                                           nullptr));
    if (!file.Valid()) return LastError();
    file_ = std::move(file);
    return {};
  }

  std::expected<void, Failure> Append(std::string_view text) override {
    LARGE_INTEGER end{};
    if (!::SetFilePointerEx(file_.Get(), LARGE_INTEGER{}, &end, FILE_END)) return LastError();
    DWORD written = 0;
    if (!::WriteFile(file_.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size())
      return LastError();
    return {};
  }

  // Its data, and with it the record of its name, on the disk.
  std::expected<void, Failure> Sync() override {
    if (!::FlushFileBuffers(file_.Get())) return LastError();
    return {};
  }

  bool Free(const std::string& name) override {
    return ::GetFileAttributesW(Path(name).c_str()) == INVALID_FILE_ATTRIBUTES &&
           ::GetLastError() == ERROR_FILE_NOT_FOUND;
  }

  void Remove() noexcept override {
    if (!file_.Valid()) return;
    // Gone as the handle closes; where the system refuses, a later run
    // finds a journal that lists nothing left and removes it.
    FILE_DISPOSITION_INFO info{};
    info.DeleteFile = TRUE;
    (void)::SetFileInformationByHandle(file_.Get(), FileDispositionInfo, &info, sizeof info);
  }

  void Leave() noexcept override {
    // Closing it makes it a dead run's journal for the next run. A failing
    // flush loses at most its last records, which only name versions kept
    // aside (those stay where they are, hidden but whole).
    if (file_.Valid()) (void)::FlushFileBuffers(file_.Get());
  }

 private:
  std::wstring Path(const std::string& name) const { return folder_ + L"\\" + win32::Widen(name); }

  std::wstring folder_;
  std::string id_;
  win32::UniqueHandle file_;
};

}  // namespace

std::unique_ptr<JournalStore> MakeJournalStore(const std::wstring& folder) {
  return std::make_unique<Win32JournalStore>(folder);
}

}  // namespace sealdoor
