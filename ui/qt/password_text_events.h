#pragma once
// Qt tells assistive tools each character typed into a password box, as it
// is (the text of its insert, remove and update events), though the box
// shows stars and its accessible text is empty. Every listener on the
// session's accessibility bus would get the password.

namespace sealdoor::ui {

// From here on, the text those events carry for a box that hides what is
// typed is one star per character: where and how much changed, never what.
void MaskPasswordTextEvents();

}  // namespace sealdoor::ui
