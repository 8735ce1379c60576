#pragma once
// The main window's controls as the design has them, once: names, places in
// twips, captions, colours, faces. Both views build the window from this
// table, and both views' tests read it.

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "form4_view.h"

namespace sealdoor::ui::layout {

enum class Kind {
  Panel,        // a frame without a caption that holds controls
  Label,
  Picture,      // a padlock
  PasswordBox,  // masked with "*", at most 24 characters
  Button,
  BarTrack,     // a bar's element 0: its track, a progress bar to screen readers
  BarFill,      // a bar's element 1: its blue fill
};

// What lies under a control's text.
enum class Back {
  Container,  // what the control lies on
  Panel,      // the main panel's light grey
  Info,       // the tooltip tint of the information boxes
  Fill,       // the bars' blue
};

enum class Face {
  Normal,          // "MS Sans Serif" 8 (7.8 points)
  Large,           // 9.6 points
  Bold,            // 7.8 points, bold
  BoldUnderlined,  // 7.8 points, bold and underlined
};

enum class Align { Left, Centre };

struct Twips {
  int left = 0, top = 0, width = 0, height = 0;
  friend constexpr bool operator==(const Twips&, const Twips&) = default;
};

struct Control {
  std::string_view name;
  int index;  // the element of a control array; -1 for a control of its own
  Kind kind;
  std::string_view parent;  // "" for the window itself
  Twips place;              // in its parent
  const char* caption;      // in English, shown through Tr(); "" for none
  Back back = Back::Container;
  std::optional<Rgb> text = std::nullopt;  // its own text colour; else the desktop's where it reads
  Face face = Face::Normal;
  Align align = Align::Left;
  bool visible = true;
  // For screen readers, where the control shows no text of its own.
  const char* accessibleName = "";
};

inline constexpr Rgb kLightGrey{192, 192, 192};
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kDarkBlue{0, 0, 192};

// The client area.
inline constexpr Twips kWindow{0, 0, 5664, 3012};
// Where the status line may spread when a text needs more room than its
// place in the design: across the information box, down to the hint.
inline constexpr Twips kWideStatus{360, 1080, 3012, 720};

// Marks a text for the catalogues' template (Tr() is called where it shows).
constexpr const char* N(const char* english) { return english; }

// In the order a view makes them (and the Windows view numbers them).
inline constexpr std::array kControls = {
    Control{"Frame3", -1, Kind::Panel, "", {120, 0, 5412, 2892}, "", Back::Panel},
    Control{"Label8", -1, Kind::Label, "Frame3", {240, 360, 3252, 1812}, "", Back::Info},
    Control{"Label9", -1, Kind::Label, "Frame3", {360, 480, 3012, 612}, "", Back::Info, kDarkBlue, Face::Large},
    Control{"Image1", 0, Kind::Picture, "Frame3", {360, 480, 384, 384}, "", Back::Info, std::nullopt, Face::Normal,
            Align::Left, true, N("Locked")},
    Control{"Image1", 1, Kind::Picture, "Frame3", {360, 480, 384, 384}, "", Back::Info, std::nullopt, Face::Normal,
            Align::Left, false, N("Unlocked")},
    Control{"Label10", -1, Kind::Label, "Frame3", {960, 480, 2532, 252}, N("Sealdoor Version 1.01"), Back::Info, kBlue,
            Face::Large},
    Control{"Label11", -1, Kind::Label, "Frame3", {960, 720, 2412, 252}, N("Password file locker"), Back::Info},
    Control{"Label12", -1, Kind::Label, "Frame3", {1080, 1080, 2292, 492}, "", Back::Info, kBlack, Face::Bold,
            Align::Centre},
    Control{"Label13", -1, Kind::Label, "Frame3", {360, 1800, 3012, 252}, N("Enter password first !"), Back::Info, kRed,
            Face::Bold, Align::Centre, false},
    Control{"Label2", -1, Kind::Label, "Frame3", {240, 2340, 852, 252}, N("Password:"), Back::Panel},
    Control{"Text1", -1, Kind::PasswordBox, "Frame3", {1200, 2340, 2292, 288}, "", Back::Container, std::nullopt,
            Face::Normal, Align::Left, true, N("Password")},
    Control{"Command4", -1, Kind::Button, "Frame3", {3720, 360, 1572, 372}, N("Lock Files")},
    Control{"Command5", -1, Kind::Button, "Frame3", {3720, 960, 1572, 372}, N("Unlock Files")},
    Control{"Command6", -1, Kind::Button, "Frame3", {3720, 1560, 1572, 372}, N("Unlock and Open")},
    Control{"Command7", -1, Kind::Button, "Frame3", {3720, 2280, 1572, 372}, N("Close")},
    Control{"Frame4", -1, Kind::Panel, "Frame3", {240, 960, 3252, 1212}, "", Back::Info, std::nullopt, Face::Normal,
            Align::Left, false},
    Control{"Label18", -1, Kind::Label, "Frame4", {120, 120, 3012, 252}, N("Unlock:"), Back::Info, kRed,
            Face::BoldUnderlined, Align::Centre},
    Control{"Label16", -1, Kind::Label, "Frame4", {120, 360, 3012, 252}, "", Back::Info, kBlue, Face::Normal,
            Align::Centre},
    Control{"Label19", -1, Kind::Label, "Frame4", {120, 680, 492, 252}, N("File:"), Back::Info, kDarkBlue, Face::Bold},
    Control{"Label15", 0, Kind::BarTrack, "Frame4", {600, 720, 2052, 132}, "", Back::Info, std::nullopt, Face::Normal,
            Align::Left, true, N("File progress")},
    Control{"Label15", 1, Kind::BarFill, "Frame4", {600, 720, 12, 132}, "", Back::Fill},
    Control{"Label21", -1, Kind::Label, "Frame4", {2760, 680, 492, 252}, "100%", Back::Info},
    Control{"Label20", -1, Kind::Label, "Frame4", {120, 920, 492, 204}, N("All:"), Back::Info, kDarkBlue, Face::Bold},
    Control{"Label17", 0, Kind::BarTrack, "Frame4", {600, 960, 2052, 132}, "", Back::Info, std::nullopt, Face::Normal,
            Align::Left, true, N("Overall progress")},
    Control{"Label17", 1, Kind::BarFill, "Frame4", {600, 960, 12, 132}, "", Back::Fill},
    Control{"Label22", -1, Kind::Label, "Frame4", {2760, 920, 492, 252}, "100%", Back::Info},
};

// The place of a control in the table.
[[nodiscard]] constexpr std::size_t IndexOf(std::string_view name, int index = -1) {
  for (std::size_t i = 0; i < kControls.size(); ++i)
    if (kControls[i].name == name && kControls[i].index == index) return i;
  throw "no such control";  // a name misspelt fails to compile where it is constant
}

[[nodiscard]] constexpr const Control& Find(std::string_view name, int index = -1) {
  return kControls[IndexOf(name, index)];
}

// "Close", or "Stop" while a batch runs.
inline constexpr const char* kStop = N("Stop");

}  // namespace sealdoor::ui::layout
