#pragma once
// The terminal (or console) the command-line tool talks to. One
// implementation per system: POSIX terminals, the Windows console.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sealdoor::cli {

enum class Stream { Out, Err };

// True when the stream goes to a terminal (where a progress line makes sense).
[[nodiscard]] bool IsTerminal(Stream stream);

// The terminal's width in characters (80 when it cannot be told).
[[nodiscard]] std::size_t TerminalWidth();

// Writes UTF-8 text as it is; false when it could not be written.
bool Write(Stream stream, std::string_view text);

// Flushes; false when anything written to the stream was lost.
[[nodiscard]] bool Flush(Stream stream);

// Asks for a password on the terminal without showing what is typed. nullopt
// when there is no terminal. The echo comes back even if the user presses
// Ctrl-C meanwhile.
[[nodiscard]] std::optional<std::string> AskPassword(std::string_view prompt);

// Asks a question on the terminal and returns the answer as typed (shown as
// it is typed). nullopt when there is no terminal.
[[nodiscard]] std::optional<std::string> AskAnswer(std::string_view prompt);

// The first line of standard input, read without a buffer that would keep a
// copy of it.
[[nodiscard]] std::string ReadPasswordLine();

// Whether Caps Lock is on, where the terminal lets that be told (a Linux
// console, the Windows console); nullopt elsewhere (a terminal emulator on
// a desktop cannot say).
[[nodiscard]] std::optional<bool> CapsLockOn();

// While set, an interrupt (Ctrl-C) asks the batch to stop rather than
// ending the process; a second one ends it at once, as before.
void StopOnInterrupt(bool on);
// Whether an interrupt came while StopOnInterrupt was set.
[[nodiscard]] bool Interrupted() noexcept;

// While set, interrupts never end the process, however many come: Ctrl-C
// (and on POSIX systems the terminal hanging up, or a plain kill) is only
// noted, so that what has to happen before the end still happens.
void HoldInterrupts(bool on);
// The first interrupt held: its signal number (Ctrl-C: 2), or 0 for none.
[[nodiscard]] int HeldInterrupt() noexcept;

}  // namespace sealdoor::cli
