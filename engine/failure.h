#pragma once
// Why a file could not be processed, as a value: what kind of trouble it
// was and, where the system said, its own error code. The engine never
// words it; each front end does (text/reasons.h).

#include <cstdint>
#include <string>

namespace sealdoor {

struct Failure {
  enum class Kind : std::uint8_t {
    System,                 // the system's error `code`
    Changed,                // another program changed or replaced it meanwhile
    Deleted,                // it was deleted meanwhile
    OpenForWriting,         // another program has it open for writing
    OpenUnshared,           // Windows: ... or open in one that does not let it be replaced
    NameTaken,              // Windows: a program made a new file under its name mid-exchange; `name` is kept
    IsFolder,
    NotRegular,             // a device, a pipe, a socket
    SystemView,             // /proc, /sys and the like
    OtherUsersFile,         // its owner could not be kept
    ForeignGroup,           // its group could not be kept
    WritersUnknown,         // another user's, and nobody's writing can be checked here
    Immutable,              // chattr +i
    AppendOnly,             // chattr +a
    FolderImmutable,
    FolderAppendOnly,
    HardLinks,              // `count` other names
    BadPassword,            // not 1 to 24 letters and digits
    NoWorkingFile,          // no working file can be made in its folder (`code`)
    NoFreeName,             // every name for a working file in its folder is taken
    NotKept,                // `property` (and `name`) could not be kept (`code`)
    AnotherRun,             // another run of Sealdoor is working on it
    LockedElsewhere,        // another program holds a lock on it
    // The new version is in place, but something of the old had to stay:
    NotTidied,              // the former version would not go (`code`); it waits hidden as `name`
    LateWriterKept,         // a writer came as it was replaced; the version it writes is kept as `name`
    LateWriterHidden,       // the same, and that version waits hidden as `name` (`code`)
    OtherVersionKept,       // another program put a file there meanwhile; it is kept as `name`
    OtherVersionHidden,     // the same, and that file waits hidden as `name` (`code`)
  };
  // What a new version could not take over from the original.
  enum class Property : std::uint8_t {
    None,
    ChattrFlags,
    Project,
    AccessList,
    Capabilities,
    ExtendedAttribute,            // `name`
    ExtendedAttributeFromFolder,  // `name`: inherited by the working file, and not removable
    Permissions,
    Stream,                       // `name`
  };

  Kind kind = Kind::System;
  int code = 0;  // errno, or a Windows error code; 0 when the kind says it all
  Property property = Property::None;
  std::uint64_t count = 0;
  std::string name;

  [[nodiscard]] static Failure System(int code) { return {Kind::System, code, Property::None, 0, {}}; }
  [[nodiscard]] static Failure Of(Kind kind, int code = 0) { return {kind, code, Property::None, 0, {}}; }
  [[nodiscard]] static Failure NotKept(Property what, int code, std::string name = {}) {
    return {Kind::NotKept, code, what, 0, std::move(name)};
  }

  // The new version is in the file's place all the same.
  [[nodiscard]] bool Placed() const noexcept {
    return kind == Kind::NotTidied || kind == Kind::LateWriterKept || kind == Kind::LateWriterHidden ||
           kind == Kind::OtherVersionKept || kind == Kind::OtherVersionHidden;
  }

  // Another program got in the way (changed, replaced, deleted or took the
  // name): our version is kept beside theirs rather than dropped.
  [[nodiscard]] bool ByAnotherProgram() const noexcept {
    return kind == Kind::Changed || kind == Kind::Deleted || kind == Kind::NameTaken;
  }

  friend bool operator==(const Failure&, const Failure&) = default;
};

}  // namespace sealdoor
