// The window in every language: each caption fits its control, measured
// with the window's own fonts, and each status text fits the status line
// wherever the English text does. A translation that does not fit is made
// shorter; the window keeps its size.

#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <string>
#include <vector>

#include "engine/action.h"
#include "text/action_texts.h"
#include "text/catalogue.h"
#include "text/languages.h"
#include "text/tr.h"
#include "text/window_texts.h"
#include "../text/languages_under_test.h"
#include "ui/form4_layout.h"
#include "ui/qt/qt_form4.h"
#include "ui/qt/twips.h"

namespace sealdoor {
namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// A button's caption needs its frame and a little air on either side.
constexpr int kButtonMargin = 4;

bool FitsWrapped(const QFontMetrics& metrics, const QRect& place, const QString& text) {
  const QRect needed =
      metrics.boundingRect(QRect(0, 0, place.width(), 1 << 20), Qt::TextWordWrap | Qt::AlignHCenter, text);
  return needed.height() <= place.height() && needed.width() <= place.width();
}

}  // namespace

class FitTest : public QObject {
  Q_OBJECT

 private slots:
  void captionsFitTheirControls() {
    QStringList misfits;
    for (const std::string& language : test::Languages()) {
      QVERIFY2(test::UseLanguage(language), language.c_str());
      ui::QtForm4 window;
      window.show();
      for (const auto& c : ui::layout::kControls) {
        auto* w = window.findChild<QWidget*>(QString::fromUtf8(c.name.data(), static_cast<qsizetype>(c.name.size())));
        QVERIFY(w);
        QString shown;
        bool fits = true;
        if (auto* b = qobject_cast<QPushButton*>(w)) {
          shown = b->text();
          fits = b->fontMetrics().horizontalAdvance(shown) <= b->width() - 2 * kButtonMargin;
        } else if (auto* l = qobject_cast<QLabel*>(w); l && *c.caption) {
          shown = l->text();
          fits = l->wordWrap() ? FitsWrapped(l->fontMetrics(), l->rect(), shown)
                               : l->fontMetrics().horizontalAdvance(shown) <= l->width();
        }
        if (!fits) misfits << QStringLiteral("%1 %2: \"%3\"").arg(Q(language), w->objectName(), shown);
      }
      // The progress panel's heading names the operation.
      auto* heading = window.findChild<QLabel*>(QStringLiteral("Label18"));
      for (const Action a : {Action::Lock, Action::Unlock}) {
        const QString operation = Q(text::Tr(text::TextsOf(a).operation));
        if (heading->fontMetrics().horizontalAdvance(operation) > heading->width())
          misfits << QStringLiteral("%1 Label18: \"%2\"").arg(Q(language), operation);
      }
    }
    text::UseCatalogue(std::nullopt);
    for (const auto& m : misfits) qWarning().noquote() << "does not fit:" << m;
    QVERIFY2(misfits.isEmpty(), qPrintable(QStringLiteral("%1 texts do not fit").arg(misfits.size())));
  }

  void statusTextsFitWhereTheEnglishDoes() {
    ui::QtForm4 window;
    window.show();
    const QFontMetrics metrics = window.findChild<QLabel*>(QStringLiteral("Label12"))->fontMetrics();
    const QRect wide = ui::TwipsRect(ui::layout::kWideStatus.left, ui::layout::kWideStatus.top,
                                     ui::layout::kWideStatus.width, ui::layout::kWideStatus.height);
    const auto texts = test::StatusTexts();
    std::vector<bool> englishFits;
    QVERIFY(test::UseLanguage(""));
    for (const auto& t : texts) englishFits.push_back(FitsWrapped(metrics, wide, Q(t())));
    // Most of them fit in English; a test that measured nothing would pass.
    QVERIFY(std::count(englishFits.begin(), englishFits.end(), true) > static_cast<long>(texts.size()) / 2);
    QStringList misfits;
    for (const std::string& language : test::Languages()) {
      QVERIFY2(test::UseLanguage(language), language.c_str());
      for (std::size_t i = 0; i < texts.size(); ++i) {
        const QString shown = Q(texts[i]());
        if (englishFits[i] && !FitsWrapped(metrics, wide, shown))
          misfits << QStringLiteral("%1: \"%2\"").arg(Q(language), shown);
      }
    }
    text::UseCatalogue(std::nullopt);
    for (const auto& m : misfits) qWarning().noquote() << "does not fit:" << m;
    QVERIFY2(misfits.isEmpty(), qPrintable(QStringLiteral("%1 texts do not fit").arg(misfits.size())));
  }
};

}  // namespace sealdoor

QTEST_MAIN(sealdoor::FitTest)
#include "fit_test.moc"
