// The XPFrame control as a Qt widget: paints the geometry the XPFrame model
// computes, as a group box of the widget style when themed and as a classic
// etched frame with an underlined access key otherwise.
#pragma once

#include <QWidget>
#include <string>

#include "dialogs/xp_frame.h"

namespace velklk {

class XPFrameWidget final : public QWidget {
 public:
  // `appThemed`: whether the application shows the visual styles.
  XPFrameWidget(const std::string& displayName, bool appThemed, QWidget* parent = nullptr);

  XPFrame& Frame() { return frame_; }
  const XPFrame& Frame() const { return frame_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool appThemed_;
  XPFrame frame_;
};

}  // namespace velklk
