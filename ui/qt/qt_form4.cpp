#include "qt_form4.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <optional>
#include <vector>

#include "caps_lock.h"
#include "engine/password_rule.h"
#include "padlock.h"
#include "twips.h"
#include "ui/contrast.h"
#include "ui/form4.h"

namespace sealdoor::ui {
namespace {

const QColor kLightGrey(192, 192, 192);
const QColor kBlue(0, 0, 255);
const QColor kDarkBlue(0, 0, 192);
const QColor kRedText(255, 0, 0);

QString Text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

Rgb ToRgb(const QColor& c) { return {c.red(), c.green(), c.blue()}; }
QColor ToQColor(Rgb c) { return {c.r, c.g, c.b}; }

// The desktop's tooltip tint where the window's own text colours read on
// it; the classic light tint under a dark palette.
QColor InfoBackground() { return ToQColor(InfoTint(ToRgb(QApplication::palette().color(QPalette::ToolTipBase)))); }

// The element of a bar that carries its value: drawn as the track the
// design has (the tint and a thin border, no text), and a progress bar to
// whoever asks, a screen reader above all.
class BarTrack final : public QProgressBar {
 public:
  explicit BarTrack(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(false);
  }

  // QProgressBar paints at once on every visible change of its value; the
  // track looks the same at any value, so it is only marked for the next
  // paint, which a batch of many files then makes once per frame.
  void SetPercent(int percent) {
    if (percent == value()) return;
    setUpdatesEnabled(false);
    setValue(percent);
    setUpdatesEnabled(true);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    p.setPen(palette().color(QPalette::WindowText));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
};

// "MS Sans Serif" has no place here; a plain sans-serif face stands in.
QFont SansFont(qreal points, bool bold = false, bool underline = false) {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setStyleHint(QFont::SansSerif);
  f.setPointSizeF(points);
  f.setBold(bold);
  f.setUnderline(underline);
  return f;
}

// Colours are set for every colour group, so a label keeps its look while
// the window is disabled during a batch (only the buttons and the password
// box grey out).
// A text without a colour of its own gets the desktop's text colour where
// that reads on what lies under it, else black or white.
void SetColours(QWidget* w, std::optional<QColor> background, std::optional<QColor> text) {
  QPalette p = w->palette();
  const QColor under = background                ? *background
                       : w->parentWidget()       ? w->parentWidget()->palette().color(QPalette::Window)
                                                 : p.color(QPalette::Window);
  if (!text)
    text = ToQColor(ReadableText(ToRgb(QApplication::palette().color(QPalette::Active, QPalette::WindowText)),
                                 ToRgb(under)));
  if (background) {
    p.setColor(QPalette::Window, *background);
    w->setAutoFillBackground(true);
  }
  if (text) p.setColor(QPalette::WindowText, *text);
  w->setPalette(p);
}

QLabel* MakeLabel(QWidget* parent, const char* name, QRect place, const QString& text = {}) {
  auto* l = new QLabel(text, parent);
  // Never markup: a file's name shows as it is, "<b>" and all.
  l->setTextFormat(Qt::PlainText);
  l->setObjectName(QLatin1String(name));
  l->setGeometry(place);
  SetColours(l, std::nullopt, std::nullopt);
  return l;
}

// A tooltip shows markup whenever its text looks like some; a name goes in
// escaped, as one line, so it always shows as it is.
QString PlainToolTip(const QString& text) {
  return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

}  // namespace

QtForm4::QtForm4(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("Form4"));
  BuildControls();
  setFixedSize(Px(5664), Px(3012));
  setWindowIcon(PadlockIcon());
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

QtForm4::~QtForm4() = default;

void QtForm4::BuildControls() {
  setFont(SansFont(8));
  const QColor info = InfoBackground();

  Frame3 = new QFrame(this);
  Frame3->setObjectName(QStringLiteral("Frame3"));
  Frame3->setGeometry(TwipsRect(120, 0, 5412, 2892));
  SetColours(Frame3, kLightGrey, std::nullopt);
  Frame3->setMouseTracking(true);
  Frame3->installEventFilter(this);

  Label8 = MakeLabel(Frame3, "Label8", TwipsRect(240, 360, 3252, 1812));
  SetColours(Label8, info, std::nullopt);
  Label9 = MakeLabel(Frame3, "Label9", TwipsRect(360, 480, 3012, 612));
  SetColours(Label9, info, kDarkBlue);
  Label9->setFont(SansFont(9.6));
  for (int i = 0; i < 2; ++i) {
    Image1[static_cast<std::size_t>(i)] = new PadlockPicture(i == 1, Frame3);
    Image1[static_cast<std::size_t>(i)]->setObjectName(QStringLiteral("Image1"));
    Image1[static_cast<std::size_t>(i)]->setProperty("Index", i);
    Image1[static_cast<std::size_t>(i)]->setGeometry(TwipsRect(360, 480, 384, 384));
    Image1[static_cast<std::size_t>(i)]->setAccessibleName(i == 0 ? QStringLiteral("Locked") : QStringLiteral("Unlocked"));
  }
  Image1[1]->hide();
  Label10 = MakeLabel(Frame3, "Label10", TwipsRect(960, 480, 2532, 252),
                      QStringLiteral("Sealdoor Version 1.01"));
  SetColours(Label10, info, kBlue);
  Label10->setFont(SansFont(9.6));
  Label11 = MakeLabel(Frame3, "Label11", TwipsRect(960, 720, 2412, 252),
                      QStringLiteral("Password file locker"));
  SetColours(Label11, info, std::nullopt);
  Label12 = MakeLabel(Frame3, "Label12", TwipsRect(1080, 1080, 2292, 492));
  SetColours(Label12, info, Qt::black);
  Label12->setFont(SansFont(7.8, true));
  Label12->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label12->setWordWrap(true);  // a longer line (files waiting, what a folder left out) wraps
  Label13 = MakeLabel(Frame3, "Label13", TwipsRect(360, 1800, 3012, 252),
                      QStringLiteral("Enter password first !"));
  SetColours(Label13, info, kRedText);
  Label13->setFont(SansFont(7.8, true));
  Label13->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label13->hide();
  Label2 = MakeLabel(Frame3, "Label2", TwipsRect(240, 2340, 852, 252), QStringLiteral("Password:"));

  Text1_ = new QLineEdit(Frame3);
  Text1_->setObjectName(QStringLiteral("Text1"));
  Text1_->setGeometry(TwipsRect(1200, 2340, 2292, 288));
  Text1_->setEchoMode(QLineEdit::Password);
  Text1_->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
  Text1_->setMaxLength(static_cast<int>(kMaxPassword));
  Label2->setBuddy(Text1_);  // its name, for screen readers, and Alt+P
  Text1_->setAccessibleName(QStringLiteral("Password"));
  connect(Text1_, &QLineEdit::textChanged, this, [this] {
    if (form_) form_->Text1_Change();
  });
  Text1_->installEventFilter(this);
  capsLockWarning_ = new QLabel(QStringLiteral("Caps Lock is on"), this, Qt::ToolTip);
  capsLockWarning_->setObjectName(QStringLiteral("CapsLockWarning"));
  capsLockWarning_->setTextFormat(Qt::PlainText);
  capsLockWarning_->setAccessibleName(capsLockWarning_->text());
  capsLockWarning_->setFont(SansFont(8, true));
  capsLockWarning_->setMargin(Px(45));
  capsLockWarning_->setFrameShape(QFrame::Box);
  capsLockWarning_->setPalette(QToolTip::palette());

  auto button = [this](const char* name, QRect place, const QString& caption) {
    auto* b = new QPushButton(caption, Frame3);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(place);
    b->setAutoDefault(false);
    b->setDefault(false);
    b->setMouseTracking(true);
    b->installEventFilter(this);
    b->setAcceptDrops(name != QLatin1String("Command7"));  // files may be dropped onto the action buttons
    return b;
  };
  Command4 = button("Command4", TwipsRect(3720, 360, 1572, 372), QStringLiteral("Lock Files"));
  Command5 = button("Command5", TwipsRect(3720, 960, 1572, 372), QStringLiteral("Unlock Files"));
  Command6 = button("Command6", TwipsRect(3720, 1560, 1572, 372), QStringLiteral("Unlock and Open"));
  Command7 = button("Command7", TwipsRect(3720, 2280, 1572, 372), QStringLiteral("Close"));
  connect(Command4, &QPushButton::clicked, this, [this] {
    if (form_) form_->Command4_Click();
  });
  connect(Command5, &QPushButton::clicked, this, [this] {
    if (form_) form_->Command5_Click();
  });
  connect(Command6, &QPushButton::clicked, this, [this] {
    if (form_) form_->Command6_Click();
  });
  connect(Command7, &QPushButton::clicked, this, [this] {
    if (form_) form_->Command7_Click();
  });
  setTabOrder(Text1_, Command4);
  setTabOrder(Command4, Command5);
  setTabOrder(Command5, Command6);
  setTabOrder(Command6, Command7);

  Frame4 = new QFrame(Frame3);
  Frame4->setObjectName(QStringLiteral("Frame4"));
  Frame4->setGeometry(TwipsRect(240, 960, 3252, 1212));
  SetColours(Frame4, info, std::nullopt);
  Label18 = MakeLabel(Frame4, "Label18", TwipsRect(120, 120, 3012, 252), QStringLiteral("Unlock:"));
  SetColours(Label18, info, kRedText);
  Label18->setFont(SansFont(7.8, true, true));
  Label18->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label16 = MakeLabel(Frame4, "Label16", TwipsRect(120, 360, 3012, 252));
  SetColours(Label16, info, kBlue);
  Label16->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label19 = MakeLabel(Frame4, "Label19", TwipsRect(120, 680, 492, 252), QStringLiteral("File:"));
  SetColours(Label19, info, kDarkBlue);
  Label19->setFont(SansFont(7.8, true));
  Label20 = MakeLabel(Frame4, "Label20", TwipsRect(120, 920, 492, 204), QStringLiteral("All:"));
  SetColours(Label20, info, kDarkBlue);
  Label20->setFont(SansFont(7.8, true));
  auto bar = [&](std::array<QWidget*, 2>& arr, const char* name, int top, const QString& accessible) {
    auto* track = new BarTrack(Frame4);
    track->setObjectName(QLatin1String(name));
    track->setGeometry(TwipsRect(600, top, 2052, 132));
    track->setAccessibleName(accessible);
    SetColours(track, info, QColor(Qt::black));
    auto* fill = MakeLabel(Frame4, name, TwipsRect(600, top, 12, 132));
    fill->setFrameShape(QFrame::Box);
    fill->setLineWidth(1);
    SetColours(fill, kBlue, std::nullopt);
    arr = {track, fill};
    for (int i = 0; i < 2; ++i) arr[static_cast<std::size_t>(i)]->setProperty("Index", i);
  };
  bar(Label15, "Label15", 720, QStringLiteral("File progress"));
  Label21 = MakeLabel(Frame4, "Label21", TwipsRect(2760, 680, 492, 252), QStringLiteral("100%"));
  SetColours(Label21, info, std::nullopt);
  bar(Label17, "Label17", 960, QStringLiteral("Overall progress"));
  Label22 = MakeLabel(Frame4, "Label22", TwipsRect(2760, 920, 492, 252), QStringLiteral("100%"));
  SetColours(Label22, info, std::nullopt);
  Frame4->hide();
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
  if (open) {
    Image1[1]->show();
    Image1[0]->hide();
  } else {
    Image1[1]->hide();
    Image1[0]->show();
  }
}

std::string QtForm4::StatusText() const { return Label12->text().toStdString(); }

void QtForm4::SetStatus(std::string_view text, Rgb colour) {
  SetColours(Label12, std::nullopt, QColor(colour.r, colour.g, colour.b));
  // Said aloud by a screen reader as it comes, as a status line is: once
  // per new text (the new accessible name tells it), not again on every key
  // typed while the same text stands. The name goes first: a label without
  // one tells a new text itself, and it would be told twice.
  const QString shown = Text(text);
  const QString spoken = shown.simplified();
  const bool changed = spoken != Label12->accessibleName();
  if (changed) Label12->setAccessibleName(spoken);
  Label12->setText(shown);
  if (changed && !spoken.isEmpty()) {
    QAccessibleEvent alert(Label12, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
  }
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
  QLabel* label = nullptr;
  switch (which) {
    case Caption::Label18: label = Label18; break;
    case Caption::Label16: label = Label16; break;
    case Caption::Label21: label = Label21; break;
    case Caption::Label22: label = Label22; break;
  }
  label->setText(Text(text));
}

void QtForm4::SetBarWidth(Bar which, int twips) {
  auto& bar = which == Bar::File ? Label15 : Label17;
  bar[1]->resize(Px(twips), bar[1]->height());
  static_cast<BarTrack*>(bar[0])->SetPercent(twips * 100 / kFullBarTwips);
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
  Command7->setText(state == BatchControls::Running ? QStringLiteral("Stop") : QStringLiteral("Close"));
  // The keyboard reaches "Stop" (Space, Escape) wherever the focus was; it
  // goes back there after.
  if (state == BatchControls::Running && isActiveWindow()) Command7->setFocus();
  if (idle && lastFocus_ && isActiveWindow()) lastFocus_->setFocus();
  if (idle) lastFocus_ = nullptr;
}

void QtForm4::Yield() { QCoreApplication::processEvents(); }

void QtForm4::Post(std::function<void()> work) { QTimer::singleShot(0, this, std::move(work)); }

void QtForm4::EndProgram() { QCoreApplication::exit(0); }

namespace {

// A drop is taken as a copy, or a link where the source offers no copy,
// never as a move: a source told of a move may delete what it moved.
bool TakeAsCopy(QDropEvent* drop) {
  const Qt::DropActions offered = drop->possibleActions();
  if (offered & Qt::CopyAction)
    drop->setDropAction(Qt::CopyAction);
  else if (offered & Qt::LinkAction)
    drop->setDropAction(Qt::LinkAction);
  else
    return false;
  drop->accept();
  return true;
}

// The local files a drop brings, or none when it brings anything else.
std::vector<std::string> DroppedFiles(const QMimeData* data) {
  std::vector<std::string> paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) return {};
    paths.push_back(QDir::toNativeSeparators(url.toLocalFile()).toStdString());
  }
  return paths;
}

}  // namespace

bool QtForm4::eventFilter(QObject* watched, QEvent* event) {
  const std::optional<Action> fromwhere = watched == Command4   ? std::optional(Action::Lock)
                                          : watched == Command5 ? std::optional(Action::Unlock)
                                          : watched == Command6 ? std::optional(Action::UnlockAndOpen)
                                                                : std::nullopt;
  if (fromwhere && (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove)) {
    auto* drag = static_cast<QDropEvent*>(event);
    if (DroppedFiles(drag->mimeData()).empty() || !TakeAsCopy(drag)) drag->ignore();
    return true;
  }
  if (fromwhere && event->type() == QEvent::Drop && form_) {
    auto* drop = static_cast<QDropEvent*>(event);
    const auto paths = DroppedFiles(drop->mimeData());
    if (paths.empty() || !TakeAsCopy(drop)) {
      drop->ignore();
      return true;
    }
    // After the drop has finished: the batch shows message boxes of its own.
    Post([this, action = *fromwhere, paths] { form_->DropFiles(action, paths); });
    return true;
  }
  if (watched == Text1_) {
    switch (event->type()) {
      case QEvent::FocusIn:
      case QEvent::FocusOut:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::EnabledChange:
        // After the event: Caps Lock's own key turns the state as it is handled.
        QTimer::singleShot(0, this, [this] { UpdateCapsLockWarning(); });
        break;
      default:
        break;
    }
  }
  if (form_ && event->type() == QEvent::MouseMove) {
    if (watched == Command4) form_->Command4_MouseMove();
    else if (watched == Command5) form_->Command5_MouseMove();
    else if (watched == Command6) form_->Command6_MouseMove();
    else if (watched == Frame3) {
      // Only the panel's own background: a move over one of its controls
      // reaches the panel too, passed on by the control.
      const auto* me = static_cast<QMouseEvent*>(event);
      if (!Frame3->childAt(me->position().toPoint())) form_->Frame3_MouseMove();
    }
  }
  return QWidget::eventFilter(watched, event);
}

void QtForm4::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && form_) {
    form_->EscapePressed();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void QtForm4::changeEvent(QEvent* event) {
  // Caps Lock may have turned while another window had the keyboard.
  if (event->type() == QEvent::ActivationChange) UpdateCapsLockWarning();
  QWidget::changeEvent(event);
}

void QtForm4::moveEvent(QMoveEvent* event) {
  UpdateCapsLockWarning();
  QWidget::moveEvent(event);
}

void QtForm4::UpdateCapsLockWarning() {
  const bool show = Text1_->hasFocus() && isActiveWindow() && CapsLockOn().value_or(false);
  if (show) {
    capsLockWarning_->adjustSize();
    capsLockWarning_->move(Text1_->mapToGlobal(QPoint(0, Text1_->height() + Px(30))));
  }
  if (show == capsLockWarning_->isVisible()) return;
  capsLockWarning_->setVisible(show);
  if (show) {
    QAccessibleEvent alert(capsLockWarning_, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
  }
}

void QtForm4::closeEvent(QCloseEvent* event) {
  if (form_ && form_->Form_QueryUnload())
    event->ignore();
  else
    event->accept();
}

}  // namespace sealdoor::ui
