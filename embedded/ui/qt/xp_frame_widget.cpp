#include "ui/qt/xp_frame_widget.h"

#include <qdrawutil.h>

#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace velklk {
namespace {

QRect ToRect(const DialogRect& r) { return QRect(r.left, r.top, r.width, r.height); }

// How far below the top of its rectangle the style draws a group-box frame
// (styles leave room for a title there); found by drawing one.
int StyleFrameOffset(const QWidget& widget) {
  QImage probe(48, 96, QImage::Format_ARGB32_Premultiplied);
  probe.fill(Qt::transparent);
  {
    QPainter painter(&probe);
    QStyleOptionFrame option;
    option.initFrom(&widget);
    option.rect = probe.rect();
    widget.style()->drawPrimitive(QStyle::PE_FrameGroupBox, &option, &painter, &widget);
  }
  for (int y = 0; y < probe.height(); ++y) {
    for (int x = 0; x < probe.width(); ++x) {
      if (qAlpha(probe.pixel(x, y)) != 0) return y;
    }
  }
  return 0;
}

}  // namespace

XPFrameWidget::XPFrameWidget(const std::string& displayName, bool appThemed, QWidget* parent)
    : QWidget(parent),
      appThemed_(appThemed),
      // Qt draws with its own styles; no image-list component is needed.
      frame_(displayName, true, [this] { return appThemed_; }) {
  setObjectName(QString::fromStdString(displayName));
  frame_.OnChanged([this](const std::string& property) {
    if (property == "Enabled") setEnabled(frame_.Enabled());
    update();
  });
}

void XPFrameWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QFontMetrics metrics(font());
  const XPFrameGeometry g = frame_.Geometry(width(), height(), [&](const std::string& text) {
    return TextExtent{metrics.horizontalAdvance(QString::fromStdString(text)), metrics.height()};
  });
  const QRect frame = ToRect(g.frame);
  if (g.themed) {
    QStyleOptionFrame option;
    option.initFrom(this);
    option.rect = frame.adjusted(0, -StyleFrameOffset(*this), 0, 0);
    option.lineWidth = 1;
    option.midLineWidth = 0;
    style()->drawPrimitive(QStyle::PE_FrameGroupBox, &option, &painter, this);
  } else {
    qDrawShadeRect(&painter, frame, palette(), true, 1, 0);
  }
  if (g.captionBackground.width > 0) {
    painter.fillRect(ToRect(g.captionBackground), palette().color(backgroundRole()));
  }
  const QRect caption = ToRect(g.caption);
  if (g.themed) {
    style()->drawItemText(&painter, caption, Qt::AlignLeft | Qt::AlignTop, palette(), !g.disabled,
                          QString::fromStdString(g.text), QPalette::WindowText);
    return;
  }
  // Classic: the caption with its "&", so that the access key is underlined;
  // disabled text is embossed (a light copy one pixel down and right).
  const QString text =
      QString::fromStdString(frame_.Caption().empty() ? std::string(" ") : frame_.Caption());
  const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic | Qt::TextDontClip;
  if (g.disabled) {
    painter.setPen(palette().color(QPalette::Light));
    painter.drawText(caption.translated(1, 1), flags, text);
    painter.setPen(palette().color(QPalette::Disabled, QPalette::WindowText));
  } else {
    painter.setPen(palette().color(QPalette::WindowText));
  }
  painter.drawText(caption, flags, text);
}

}  // namespace velklk
