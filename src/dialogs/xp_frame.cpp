#include "dialogs/xp_frame.h"

#include "dialogs/access_keys.h"

namespace velklk {
namespace {

constexpr int kThemedInset = 9;
constexpr int kThemedGap = 2;
constexpr int kClassicInset = 4;
constexpr int kClassicGap = 1;

}  // namespace

XPFrame::XPFrame(std::string displayName, bool imageList, std::function<bool()> isAppThemed)
    : displayName_(std::move(displayName)),
      imageList_(imageList),
      isAppThemed_(std::move(isAppThemed)),
      caption_(displayName_) {}

void XPFrame::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Changed("Enabled");
}

void XPFrame::SetCaption(const std::string& caption) {
  caption_ = caption;
  Changed("Caption");
}

bool XPFrame::Themed() const { return imageList_ && isAppThemed_ && isAppThemed_(); }

void XPFrame::Changed(const char* property) {
  if (listener_) listener_(property);
}

void XPFrame::ReadProperties(const std::map<std::string, Variant>& bag) {
  const auto enabled = bag.find("Enabled");
  enabled_ = enabled == bag.end() ? true : enabled->second.ToBool();
  const auto caption = bag.find("Caption");
  caption_ = caption == bag.end() ? displayName_ : caption->second.ToText();
}

void XPFrame::WriteProperties(std::map<std::string, Variant>& bag) const {
  if (enabled_) {
    bag.erase("Enabled");
  } else {
    bag["Enabled"] = Variant(false);
  }
  if (caption_ == displayName_) {
    bag.erase("Caption");
  } else {
    bag["Caption"] = Variant(caption_);
  }
}

int XPFrame::Inset() const { return Themed() ? kThemedInset : kClassicInset; }
int XPFrame::Gap() const { return Themed() ? kThemedGap : kClassicGap; }

XPFrameGeometry XPFrame::Geometry(
    int width, int height, const std::function<TextExtent(const std::string&)>& measure) const {
  XPFrameGeometry g;
  g.themed = Themed();
  g.disabled = !enabled_;
  g.text = caption_.empty() ? std::string(" ") : WithoutAccessKey(caption_);
  g.accessKey = g.themed || caption_.empty() ? -1 : AccessKeyPosition(caption_);
  const TextExtent extent = measure(g.text);
  const int inset = Inset();
  g.frame = {0, extent.height / 2, width, height - extent.height / 2};
  g.caption = {inset, 0, extent.width, extent.height};
  if (!caption_.empty()) {
    const int gap = Gap();
    g.captionBackground = {inset - gap, 0, extent.width + 2 * gap, extent.height};
  }
  return g;
}

}  // namespace velklk
