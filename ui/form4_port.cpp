#include "form4_port.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>

#include "form4.h"
#include "message_boxes.h"
#include "twips.h"

namespace sealdoor::ui {

std::string Form4Port::Password() const { return window_.Text1->text().toStdString(); }

void Form4Port::SetCaption(Caption which, std::string_view text) {
  QLabel* label = nullptr;
  switch (which) {
    case Caption::Label18: label = window_.Label18; break;
    case Caption::Label16: label = window_.Label16; break;
    case Caption::Label21: label = window_.Label21; break;
    case Caption::Label22: label = window_.Label22; break;
  }
  label->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void Form4Port::SetBarWidth(Bar which, int twips) {
  QLabel* fill = which == Bar::File ? window_.Label15[1] : window_.Label17[1];
  fill->resize(Px(twips), fill->height());
}

void Form4Port::ShowProgress() { window_.Frame4->show(); }

void Form4Port::Message(std::string_view text, MessageStyle style) {
  window_.services_.messages.Show(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), style);
}

void Form4Port::Yield() { window_.Yield(); }

}  // namespace sealdoor::ui
