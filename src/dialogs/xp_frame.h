// XPFrame: a container control that draws a group-box frame with a caption,
// in the system's visual style when the application is themed, otherwise as
// a classic etched frame. This class holds its properties and computes its
// drawing as geometry; a view measures the text with its own font and paints
// what Geometry() says.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "platform/dialog.h"
#include "platform/variant.h"

namespace velklk {

// The width and height of a text in the control's font.
struct TextExtent {
  int width = 0;
  int height = 0;
};

struct XPFrameGeometry {
  // The frame: from half a text line below the top to the bottom right.
  DialogRect frame;
  // Where the caption text is drawn.
  DialogRect caption;
  // The background behind the caption, which breaks the frame line; empty
  // (zero width) when the caption is empty.
  DialogRect captionBackground;
  // The text drawn: the caption without its access-key "&" ("&&" shows as
  // "&"), a single blank for an empty caption.
  std::string text;
  // The byte position in `text` of the letter to underline (classic frames
  // only), -1 for none.
  int accessKey = -1;
  bool themed = false;
  // Greyed (themed) or embossed grey (classic) text.
  bool disabled = false;
};

class XPFrame {
 public:
  // `displayName` is the control's name, its default caption. The theme
  // test needs the image-list component (`imageList`: whether it could be
  // created) and the platform's answer whether the application is themed.
  XPFrame(std::string displayName, bool imageList, std::function<bool()> isAppThemed);

  bool Enabled() const { return enabled_; }
  // Store, report the change ("Enabled"), redraw.
  void SetEnabled(bool enabled);
  const std::string& Caption() const { return caption_; }
  // Store, report the change ("Caption"), redraw.
  void SetCaption(const std::string& caption);
  bool Themed() const;

  // Called with the property name after each change; the view enables or
  // disables its control and redraws.
  void OnChanged(std::function<void(const std::string&)> listener) {
    listener_ = std::move(listener);
  }

  // Persistence in a property bag: a missing entry reads as its default
  // (True, the display name); an entry equal to its default is not written.
  void ReadProperties(const std::map<std::string, Variant>& bag);
  void WriteProperties(std::map<std::string, Variant>& bag) const;

  // Caption inset from the left edge and gap around the caption, in pixels.
  int Inset() const;
  int Gap() const;

  // The drawing for a control of that inner size, with the text measured
  // by the view.
  XPFrameGeometry Geometry(int width, int height,
                           const std::function<TextExtent(const std::string&)>& measure) const;

 private:
  void Changed(const char* property);

  std::string displayName_;
  bool imageList_;
  std::function<bool()> isAppThemed_;
  bool enabled_ = true;
  std::string caption_;
  std::function<void(const std::string&)> listener_;
};

}  // namespace velklk
