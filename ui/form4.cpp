#include "form4.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <optional>

#include "engine/form1.h"
#include "engine/password_rule.h"
#include "file_dialog.h"
#include "form4_port.h"
#include "message_boxes.h"
#include "padlock.h"
#include "pointer.h"
#include "selection.h"
#include "shell/command_line.h"
#include "shell/module2.h"
#include "shell/open_command.h"
#include "shell/program_starter.h"
#include "shell/system_folders.h"
#include "shell/wait_seconds.h"
#include "twips.h"

namespace sealdoor::ui {
namespace {

const QColor kLightGrey(192, 192, 192);
const QColor kBlue(0, 0, 255);
const QColor kDarkBlue(0, 0, 192);
const QColor kRed(255, 0, 0);

constexpr const char* kFilter =
    "All Files (*.*)|*.*|Text (*.txt)|*.txt|Pictures (*.jpg;*.gif;*.bmp)|*.jpg;*.gif;*.bmp|"
    "Microsoft Word (*.doc)|*.doc|Microsoft Access (*.mdb)|*.mdb|Excel (*.xls)|*.xls|"
    "Sound (*.wav)|*.wav";

// Open-file dialog flags of the buttons; they differ in multi-select only.
constexpr int kFlagsSeveral = 3691020;  // 0x38520C
constexpr int kFlagsOne = 3690508;      // 0x38500C
constexpr int kAllowMultiSelect = 0x200;

QColor InfoBackground() { return QApplication::palette().color(QPalette::ToolTipBase); }

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
void SetColours(QWidget* w, std::optional<QColor> background, std::optional<QColor> text) {
  QPalette p = w->palette();
  if (!text) text = QApplication::palette().color(QPalette::Active, QPalette::WindowText);
  if (background) {
    p.setColor(QPalette::Window, *background);
    w->setAutoFillBackground(true);
  }
  if (text) p.setColor(QPalette::WindowText, *text);
  w->setPalette(p);
}

QLabel* MakeLabel(QWidget* parent, const char* name, QRect place, const QString& text = {}) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(QLatin1String(name));
  l->setGeometry(place);
  SetColours(l, std::nullopt, std::nullopt);
  return l;
}

}  // namespace

Form4::Form4(Form4Services services, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      services_(services),
      port_(std::make_unique<Form4Port>(*this)) {
  setObjectName(QStringLiteral("Form4"));
  BuildControls();
  setFixedSize(Px(5664), Px(3012));
  setWindowIcon(PadlockIcon());
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  Form_Load();
}

Form4::~Form4() = default;

void Form4::BuildControls() {
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
  Label13 = MakeLabel(Frame3, "Label13", TwipsRect(360, 1800, 3012, 252),
                      QStringLiteral("Enter password first !"));
  SetColours(Label13, info, kRed);
  Label13->setFont(SansFont(7.8, true));
  Label13->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label13->hide();
  Label2 = MakeLabel(Frame3, "Label2", TwipsRect(240, 2340, 852, 252), QStringLiteral("Password:"));

  Text1 = new QLineEdit(Frame3);
  Text1->setObjectName(QStringLiteral("Text1"));
  Text1->setGeometry(TwipsRect(1200, 2340, 2292, 288));
  Text1->setEchoMode(QLineEdit::Password);
  Text1->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
  Text1->setMaxLength(static_cast<int>(kMaxPassword));
  connect(Text1, &QLineEdit::textChanged, this, [this] { Text1_Change(); });

  auto button = [this](const char* name, QRect place, const QString& caption) {
    auto* b = new QPushButton(caption, Frame3);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(place);
    b->setAutoDefault(false);
    b->setDefault(false);
    b->setMouseTracking(true);
    b->installEventFilter(this);
    return b;
  };
  Command4 = button("Command4", TwipsRect(3720, 360, 1572, 372), QStringLiteral("Lock Files"));
  Command5 = button("Command5", TwipsRect(3720, 960, 1572, 372), QStringLiteral("Unlock Files"));
  Command6 = button("Command6", TwipsRect(3720, 1560, 1572, 372), QStringLiteral("Unlock and Open"));
  Command7 = button("Command7", TwipsRect(3720, 2280, 1572, 372), QStringLiteral("Close"));
  connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
  connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
  connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
  connect(Command7, &QPushButton::clicked, this, [this] { Command7_Click(); });
  setTabOrder(Text1, Command4);
  setTabOrder(Command4, Command5);
  setTabOrder(Command5, Command6);
  setTabOrder(Command6, Command7);

  Frame4 = new QFrame(Frame3);
  Frame4->setObjectName(QStringLiteral("Frame4"));
  Frame4->setGeometry(TwipsRect(240, 960, 3252, 1212));
  SetColours(Frame4, info, std::nullopt);
  Label18 = MakeLabel(Frame4, "Label18", TwipsRect(120, 120, 3012, 252), QStringLiteral("Unlock:"));
  SetColours(Label18, info, kRed);
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
  auto bar = [&](std::array<QLabel*, 2>& arr, const char* name, int top) {
    for (int i = 0; i < 2; ++i) {
      auto* l = MakeLabel(Frame4, name, TwipsRect(600, top, i == 0 ? 2052 : 12, 132));
      l->setProperty("Index", i);
      l->setFrameShape(QFrame::Box);
      l->setLineWidth(1);
      SetColours(l, i == 0 ? info : kBlue, std::nullopt);
      arr[static_cast<std::size_t>(i)] = l;
    }
  };
  bar(Label15, "Label15", 720);
  Label21 = MakeLabel(Frame4, "Label21", TwipsRect(2760, 680, 492, 252), QStringLiteral("100%"));
  SetColours(Label21, info, std::nullopt);
  bar(Label17, "Label17", 960);
  Label22 = MakeLabel(Frame4, "Label22", TwipsRect(2760, 920, 492, 252), QStringLiteral("100%"));
  SetColours(Label22, info, std::nullopt);
  Frame4->hide();
}

void Form4::Form_Load() {
  setWindowTitle(QStringLiteral("Sealdoor"));
  services_.pointer.SetNormal();
}

bool Form4::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove) {
    if (watched == Command4) Command4_MouseMove();
    else if (watched == Command5) Command5_MouseMove();
    else if (watched == Command6) Command6_MouseMove();
    else if (watched == Frame3) {
      // Only the panel's own background: a move over one of its controls
      // reaches the panel too, passed on by the control.
      const auto* me = static_cast<QMouseEvent*>(event);
      if (!Frame3->childAt(me->position().toPoint())) Frame3_MouseMove();
    }
  }
  return QWidget::eventFilter(watched, event);
}

void Form4::closeEvent(QCloseEvent* event) {
  // The window is disabled while a batch runs; closing then would drop the
  // file being processed half-way, so the title bar's close waits for it.
  if (!isEnabled()) {
    event->ignore();
    return;
  }
  event->accept();
  Command7_Click();
}

void Form4::ApplyHintRule() { Label13->setVisible(Text1->text().isEmpty()); }

void Form4::ShowPadlock(bool open) {
  if (open) {
    Image1[1]->show();
    Image1[0]->hide();
  } else {
    Image1[1]->hide();
    Image1[0]->show();
  }
}

void Form4::Command4_MouseMove() {
  ApplyHintRule();
  ShowPadlock(false);
}

void Form4::Command5_MouseMove() {
  ApplyHintRule();
  ShowPadlock(true);
}

void Form4::Command6_MouseMove() {
  ApplyHintRule();
  ShowPadlock(true);
}

void Form4::Frame3_MouseMove() {
  if (Label12->text().isEmpty()) return;
  Label12->setText(QString());
  ShowPadlock(false);
}

void Form4::Command7_Click() { QCoreApplication::exit(0); }

void Form4::Text1_Change() {
  const QString text = Text1->text();
  if (text.isEmpty()) {
    Label13->setVisible(true);
    return;
  }
  Label13->setVisible(false);
  for (const QChar ch : text) {
    if (!IsPasswordCharacter(ch.unicode())) {
      Text1->setText(QString());  // runs this handler again, nested
      services_.messages.Show(QStringLiteral("Invalid characters in password !\n\rEnter letters or digits only."),
                              MessageStyle::None);
      return;
    }
  }
}

void Form4::Command4_Click() { ActionClick(kFlagsSeveral, 1); }

void Form4::Command5_Click() { ActionClick(kFlagsSeveral, 2); }

void Form4::Command6_Click() { ActionClick(kFlagsOne, 3); }

void Form4::ActionClick(int dialogFlags, int fromwhere) {
  if (Text1->text().isEmpty()) {
    Text1->setFocus();
    return;
  }
  dialogFlags_ = dialogFlags;
  ShowDialog(fromwhere);
}

void Form4::Yield() { QCoreApplication::processEvents(); }

void Form4::ShowDialog(int fromwhere) {
  FileDialogOptions options;
  options.initialDir = QDir::homePath();  // stands for "C:\"
  options.title = fromwhere == 1   ? QStringLiteral("Sealdoor - Lock File(s)")
                  : fromwhere == 2 ? QStringLiteral("Sealdoor - Unlock File(s)")
                                   : QStringLiteral("Sealdoor - Open File");
  options.filter = QString::fromLatin1(kFilter);
  options.multiSelect = (dialogFlags_ & kAllowMultiSelect) != 0;
  const std::optional<std::string> chosen = services_.dialog.Show(options);
  if (!chosen) return;  // cancelled: nothing changes

  // Batch start.
  Yield();
  setEnabled(false);
  services_.pointer.SetBusy();
  SetColours(Label12, std::nullopt, kRed);
  Label12->setText(QStringLiteral("\n\rWorking...  Plese wait..."));
  const std::string selection = *chosen;
  Yield();
  Label15[1]->resize(0, Label15[1]->height());
  Label17[1]->resize(0, Label17[1]->height());
  Label21->setText(QString());
  Label22->setText(QString());

  const Selection files = SplitSelection(selection);
  counters_ = BatchCountersFor(files.paths);

  // Dispatch: a fresh engine object for every call, gone after it.
  bool result = false;
  for (std::size_t i = 0; i < files.paths.size(); ++i) {
    if (files.several) Yield();
    {
      Form1 engine(*port_, counters_);
      if (fromwhere == 1)
        engine.LockIt(files.paths[i], files.names[i], result);
      else
        engine.UnlockIt(files.paths[i], files.names[i], result);
    }
    if (files.several) Yield();
  }

  if (fromwhere == 3) {
    services_.pointer.SetNormal();
    SetColours(Label12, std::nullopt, Qt::black);
    Label12->setText(QString());
    Yield();
    Frame4->hide();
    if (result) OpenIt(selection, result);
    setEnabled(true);
    return;
  }

  // Closing.
  Label22->setText(QStringLiteral("100%"));
  Label17[1]->resize(Px(kFullBarTwips), Label17[1]->height());
  services_.pointer.SetNormal();
  SetColours(Label12, std::nullopt, Qt::black);
  Label12->setText(QString());
  const QString closing = fromwhere == 1 ? (files.several ? QStringLiteral("Files locked !")
                                                          : QStringLiteral("File locked !"))
                                         : (files.several ? QStringLiteral("Files Unlocked !")
                                                          : QStringLiteral("File Unlocked !"));
  Frame4->hide();
  if (result) services_.messages.Show(closing, MessageStyle::Information);
  setEnabled(true);
}

void Form4::OpenIt(const std::string& filesseps, bool& result) {
  (void)result;  // accepted, not used
  services_.pointer.SetBusy();
  Module2::FileExtension.clear();
  Module2::OpenCommand.clear();
  const auto dot = filesseps.rfind('.');
  const std::string extension = dot == std::string::npos ? filesseps : filesseps.substr(dot);
  const auto yield = [this] { Yield(); };
  const auto cannotStart = [&](const std::string& reason) {
    services_.pointer.SetNormal();
    services_.messages.Show(QString::fromStdString("'" + filesseps + "' could not be started: " + reason),
                            MessageStyle::Exclamation);
  };

  if (extension == ".exe" || extension == ".com" || extension == ".bat" || extension == ".pif") {
    if (auto started = services_.starter.Start({filesseps}); !started) return cannotStart(started.error());
    shell::WaitSeconds(openPause_, yield);
    services_.pointer.SetNormal();
    Yield();
    return;
  }

  Module2::FileExtension = extension;
  shell::GetOpenCommand();
  if (!Module2::OpenCommand.empty()) {
    if (Module2::MissingTerminal) return cannotStart("its program runs in a terminal, and no terminal program is installed");
    const std::string command = shell::ExpandSystemRoot(Module2::OpenCommand, Module2::WindowsFolder);
    if (auto started = services_.starter.Start(shell::CommandArguments(command, filesseps)); !started)
      return cannotStart(started.error());
    shell::WaitSeconds(openPause_, yield);
    services_.pointer.SetNormal();
    return;
  }
  services_.pointer.SetNormal();
  services_.messages.Show(
      QString::fromStdString("'" + filesseps +
                             "' is not a registered type.\r\n\r\nThe file was unlocked, but could not be open !"),
      MessageStyle::Exclamation);
}

}  // namespace sealdoor::ui
