#include "qt_form4.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QToolTip>
#include <memory>
#include <optional>

#include "bar_track.h"
#include "engine/password_rule.h"
#include "padlock.h"
#include "password_text_events.h"
#include "text/tr.h"
#include "twips.h"
#include "ui/contrast.h"
#include "ui/form4.h"

namespace sealdoor::ui {
namespace {

QString Text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
QString Shown(const char* english) { return *english ? Text(text::Tr(english)) : QString(); }

Rgb ToRgb(const QColor& c) { return {c.red(), c.green(), c.blue()}; }
QColor ToQColor(Rgb c) { return {c.r, c.g, c.b}; }

QRect ToPixels(layout::Twips t) { return TwipsRect(t.left, t.top, t.width, t.height); }

// The whole window keeps the design's light colours, whatever the desktop's
// palette: a dark palette would darken the buttons and the password box
// only, against the design's light panel and boxes.
QPalette LightPalette() {
  static const QPalette light = [] {
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    return fusion ? fusion->standardPalette() : QPalette(QColor(240, 240, 240));
  }();
  return light;
}

QColor InfoBackground() { return ToQColor(InfoTint(ToRgb(LightPalette().color(QPalette::ToolTipBase)))); }

// "MS Sans Serif" has no place here; a plain sans-serif face stands in.
QFont SansFont(layout::Face face) {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setStyleHint(QFont::SansSerif);
  f.setPointSizeF(face == layout::Face::Large ? 9.6 : face == layout::Face::Normal ? 8 : 7.8);
  f.setBold(face == layout::Face::Bold || face == layout::Face::BoldUnderlined);
  f.setUnderline(face == layout::Face::BoldUnderlined);
  return f;
}

// Colours are set for every colour group, so a label keeps its look while
// the window is disabled during a batch (only the buttons and the password
// box grey out). A text without a colour of its own gets the palette's text
// colour where that reads on what lies under it, else black or white.
void SetColours(QWidget* w, std::optional<QColor> background, std::optional<QColor> text) {
  QPalette p = w->palette();
  const QColor under = background                ? *background
                       : w->parentWidget()       ? w->parentWidget()->palette().color(QPalette::Window)
                                                 : p.color(QPalette::Window);
  if (!text)
    text = ToQColor(ReadableText(ToRgb(LightPalette().color(QPalette::Active, QPalette::WindowText)), ToRgb(under)));
  if (background) {
    p.setColor(QPalette::Window, *background);
    w->setAutoFillBackground(true);
  }
  p.setColor(QPalette::WindowText, *text);
  w->setPalette(p);
}

std::optional<QColor> BackOf(layout::Back back) {
  switch (back) {
    case layout::Back::Panel: return ToQColor(layout::kLightGrey);
    case layout::Back::Info: return InfoBackground();
    case layout::Back::Fill: return ToQColor(layout::kBlue);
    case layout::Back::Container: break;
  }
  return std::nullopt;
}

// A tooltip shows markup whenever its text looks like some; a name goes in
// escaped, as one line, so it always shows as it is.
QString PlainToolTip(const QString& text) {
  return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

// Whether `text`, wrapped at words, fits `label` at the size `place`.
bool Fits(const QLabel* label, const QRect& place, const QString& text) {
  const QRect needed = label->fontMetrics().boundingRect(QRect(0, 0, place.width(), 1 << 20),
                                                         Qt::TextWordWrap | Qt::AlignHCenter, text);
  return needed.height() <= place.height() && needed.width() <= place.width();
}

}  // namespace

QtForm4::QtForm4(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("Form4"));
  setPalette(LightPalette());
  setFont(SansFont(layout::Face::Normal));
  // What is typed into the password box reaches assistive tools as stars.
  MaskPasswordTextEvents();
  BuildControls();
  setFixedSize(Px(layout::kWindow.width), Px(layout::kWindow.height));
  setWindowIcon(PadlockIcon());
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

QtForm4::~QtForm4() = default;

QWidget* QtForm4::Make(const layout::Control& c) {
  QWidget* parent = c.parent.empty() ? static_cast<QWidget*>(this) : Of(c.parent);
  QWidget* w = nullptr;
  switch (c.kind) {
    case layout::Kind::Panel: w = new QFrame(parent); break;
    case layout::Kind::Label: {
      auto* l = new QLabel(Shown(c.caption), parent);
      // Never markup: a file's name shows as it is, "<b>" and all.
      l->setTextFormat(Qt::PlainText);
      l->setAlignment((c.align == layout::Align::Centre ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
      w = l;
      break;
    }
    case layout::Kind::Picture: w = new PadlockPicture(c.index == 1, parent); break;
    case layout::Kind::PasswordBox: {
      auto* e = new QLineEdit(parent);
      e->setEchoMode(QLineEdit::Password);
      e->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
      e->setMaxLength(static_cast<int>(kMaxPassword));
      w = e;
      break;
    }
    case layout::Kind::Button: {
      auto* b = new QPushButton(Shown(c.caption), parent);
      b->setAutoDefault(false);
      b->setDefault(false);
      w = b;
      break;
    }
    case layout::Kind::BarTrack: w = tracks_[c.name == "Label15" ? 0 : 1] = new BarTrack(parent); break;
    case layout::Kind::BarFill: {
      auto* fill = new QLabel(parent);
      fill->setTextFormat(Qt::PlainText);
      fill->setFrameShape(QFrame::Box);
      fill->setLineWidth(1);
      w = fill;
      break;
    }
  }
  w->setObjectName(QString::fromUtf8(c.name.data(), static_cast<qsizetype>(c.name.size())));
  if (c.index >= 0) w->setProperty("Index", c.index);
  w->setGeometry(ToPixels(c.place));
  if (c.face != layout::Face::Normal) w->setFont(SansFont(c.face));
  if (*c.accessibleName) w->setAccessibleName(Shown(c.accessibleName));
  if (c.kind != layout::Kind::Button && c.kind != layout::Kind::PasswordBox)
    SetColours(w, BackOf(c.back), c.text ? std::optional(ToQColor(*c.text)) : std::nullopt);
  if (c.kind == layout::Kind::BarTrack) SetColours(w, InfoBackground(), QColor(Qt::black));
  if (!c.visible) w->hide();
  return w;
}

void QtForm4::BuildControls() {
  for (std::size_t i = 0; i < layout::kControls.size(); ++i) widgets_[i] = Make(layout::kControls[i]);
  Frame3 = Of("Frame3");
  Frame4 = Of("Frame4");
  Label12 = static_cast<QLabel*>(Of("Label12"));
  Label13 = static_cast<QLabel*>(Of("Label13"));
  Label16 = static_cast<QLabel*>(Of("Label16"));
  Text1_ = static_cast<QLineEdit*>(Of("Text1"));
  Command4 = static_cast<QPushButton*>(Of("Command4"));
  Command5 = static_cast<QPushButton*>(Of("Command5"));
  Command6 = static_cast<QPushButton*>(Of("Command6"));
  Command7 = static_cast<QPushButton*>(Of("Command7"));
  fills_ = {Of("Label15", 1), Of("Label17", 1)};

  Frame3->setMouseTracking(true);
  Frame3->installEventFilter(this);
  // A longer line (files waiting, what a folder left out) wraps.
  Label12->setWordWrap(true);
  // Its name, for screen readers, and Alt+P.
  static_cast<QLabel*>(Of("Label2"))->setBuddy(Text1_);
  connect(Text1_, &QLineEdit::textChanged, this, [this] {
    if (form_) form_->Text1_Change();
  });
  Text1_->installEventFilter(this);

  capsLockWarning_ = new QLabel(Text(text::Tr("Caps Lock is on")), this, Qt::ToolTip);
  capsLockWarning_->setObjectName(QStringLiteral("CapsLockWarning"));
  capsLockWarning_->setTextFormat(Qt::PlainText);
  capsLockWarning_->setAccessibleName(capsLockWarning_->text());
  capsLockWarning_->setFont(SansFont(layout::Face::Bold));
  capsLockWarning_->setMargin(Px(45));
  capsLockWarning_->setFrameShape(QFrame::Box);
  capsLockWarning_->setPalette(QToolTip::palette());

  const std::pair<QPushButton*, void (Form4::*)()> clicks[] = {{Command4, &Form4::Command4_Click},
                                                               {Command5, &Form4::Command5_Click},
                                                               {Command6, &Form4::Command6_Click},
                                                               {Command7, &Form4::Command7_Click}};
  for (const auto& [button, handler] : clicks) {
    connect(button, &QPushButton::clicked, this, [this, handler = handler] {
      if (form_) (form_->*handler)();
    });
    if (button == Command7) continue;
    button->setMouseTracking(true);
    button->installEventFilter(this);
    button->setAcceptDrops(true);  // files may be dropped onto the action buttons
  }
  setTabOrder(Text1_, Command4);
  setTabOrder(Command4, Command5);
  setTabOrder(Command5, Command6);
  setTabOrder(Command6, Command7);
}

void QtForm4::SetWindowCaption(std::string_view text) { setWindowTitle(Text(text)); }

std::string QtForm4::Text1() const {
  // Built a character at a time: no intermediate byte array keeps a copy of
  // the password behind.
  const QString text = Text1_->text();
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()) * 3);
  for (const QChar ch : text) {
    const char16_t c = ch.unicode();
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      const QByteArray bytes = QString(ch).toUtf8();
      out.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
  }
  return out;
}

void QtForm4::SetText1(std::string_view text) { Text1_->setText(Text(text)); }

void QtForm4::FocusText1() { Text1_->setFocus(); }

void QtForm4::SelectText1() {
  Text1_->setFocus();
  Text1_->selectAll();
}

void QtForm4::SetHintVisible(bool visible) { Label13->setVisible(visible); }

void QtForm4::ShowPadlock(bool open) {
  Of("Image1", 1)->setVisible(open);
  Of("Image1", 0)->setVisible(!open);
}

std::string QtForm4::StatusText() const { return Label12->property("fullText").toString().toStdString(); }

void QtForm4::SetStatus(std::string_view text, Rgb colour) {
  SetColours(Label12, std::nullopt, ToQColor(colour));
  // Said aloud by a screen reader as it comes, as a status line is: once
  // per new text (the new accessible name tells it), not again on every key
  // typed while the same text stands. The name goes first: a label without
  // one tells a new text itself, and it would be told twice.
  const QString shown = Text(text);
  const QString spoken = shown.simplified();
  const bool changed = spoken != Label12->accessibleName();
  if (changed) Label12->setAccessibleName(spoken);
  Label12->setProperty("fullText", shown);
  Label12->setText(shown);
  PlaceStatus();
  if (changed && !spoken.isEmpty()) {
    QAccessibleEvent alert(Label12, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
  }
}

void QtForm4::PlaceStatus() {
  const QString full = Label12->property("fullText").toString();
  const QRect design = ToPixels(layout::Find("Label12").place);
  const QRect wide = ToPixels(layout::kWideStatus);
  const bool roomy = Fits(Label12, design, full);
  Label12->setGeometry(roomy ? design : wide);
  Label12->setToolTip(QString());
  if (roomy || Fits(Label12, wide, full)) return;
  // Longer than any room the box has: cut at a word, the whole in the
  // tooltip (screen readers have it whole).
  QString cut = full;
  while (!cut.isEmpty() && !Fits(Label12, wide, cut + QStringLiteral("..."))) {
    const qsizetype space = cut.lastIndexOf(QLatin1Char(' '));
    cut.truncate(space > 0 ? space : cut.size() - 1);
  }
  Label12->setText(cut + QStringLiteral("..."));
  Label12->setToolTip(PlainToolTip(full));
}

void QtForm4::SetProgressVisible(bool visible) { Frame4->setVisible(visible); }

void QtForm4::SetCaption(Caption which, std::string_view text) {
  if (which == Caption::Label16) {
    // A long name is cut in the middle, so its start and its extension
    // show; the whole name is in the tooltip and for screen readers.
    const QString name = Text(text);
    const QString shown = Label16->fontMetrics().elidedText(name, Qt::ElideMiddle, Label16->width() - 4);
    Label16->setText(shown);
    Label16->setToolTip(shown == name ? QString() : PlainToolTip(name));
    Label16->setAccessibleName(name);
    return;
  }
  const char* name = which == Caption::Label18 ? "Label18" : which == Caption::Label21 ? "Label21" : "Label22";
  static_cast<QLabel*>(Of(name))->setText(Text(text));
}

void QtForm4::SetBarWidth(Bar which, int twips) {
  const std::size_t bar = which == Bar::File ? 0 : 1;
  fills_[bar]->resize(Px(twips), fills_[bar]->height());
  tracks_[bar]->SetPercent(twips * 100 / kFullBarTwips);
}

void QtForm4::SetBatchControls(BatchControls state) {
  const bool idle = state == BatchControls::Idle;
  if (!idle && Text1_->isEnabled()) {
    QWidget* focus = QApplication::focusWidget();
    lastFocus_ = focus && isAncestorOf(focus) ? focus : nullptr;
  }
  for (QWidget* w : {static_cast<QWidget*>(Text1_), static_cast<QWidget*>(Command4), static_cast<QWidget*>(Command5),
                     static_cast<QWidget*>(Command6)})
    w->setEnabled(idle);
  Command7->setEnabled(state != BatchControls::Closing);
  Command7->setText(Shown(state == BatchControls::Running ? layout::kStop : layout::Find("Command7").caption));
  // The keyboard reaches "Stop" (Space, Escape) wherever the focus was; it
  // goes back there after.
  if (state == BatchControls::Running && isActiveWindow()) Command7->setFocus();
  if (idle && lastFocus_ && isActiveWindow()) lastFocus_->setFocus();
  if (idle) lastFocus_ = nullptr;
}

void QtForm4::Yield() { QCoreApplication::processEvents(); }

void QtForm4::Post(std::function<void()> work) { QTimer::singleShot(0, this, std::move(work)); }

void QtForm4::After(std::chrono::milliseconds delay, std::function<void()> work) {
  QTimer::singleShot(delay, this, std::move(work));
}

void QtForm4::EndProgram() { QCoreApplication::exit(0); }

}  // namespace sealdoor::ui
