#pragma once

#include <FL/Fl_Widget.H>

#include <memory>

#include "decode/parsed_message.h"
#include "ui/scroll_win.h"

class QL_Settings;
class Session;

// The detail view as the main window and the message list see it.
class MsgDetail {
  public:
    virtual ~MsgDetail() = default;
    virtual Fl_Widget* asFlWidget() = 0;
    // Shows the frame with this store index decoded by the current decoder; -1 for none.
    virtual void SetSelected(StoreIndex storeIndex) = 0;
};

// The selected frame decoded: its identifier and data bytes, then one line per fragment,
// sub-fragments indented. A highlight moves over the lines by keyboard or mouse, and the bytes
// the highlighted line describes turn blue in the first line. GUI thread only.
class MsgDetailFLTK : public MsgDetail, public ScrollWin {
  public:
    // session: the store and the current decoder. prefs: the font.
    MsgDetailFLTK(int x, int y, int w, int h, Session& session, const QL_Settings& prefs);

    Fl_Widget* asFlWidget() override { return this; }
    void SetSelected(StoreIndex storeIndex) override;
    void content_size(int& w, int& h) override;
    void draw_content(int x, int y, int w, int h, int xoff, int yoff) override;
    int handle(int event) override;

    std::unique_ptr<ParsedMessage> message;  // the decoded selected frame
    StoreIndex selFrame = -1;                // its store index
    int selLine = -1;    // highlighted line: 0 the identifier line, k the k-th fragment line
    int margin = 0;      // width of "B"
    int indent = 0;      // width of "XXX"
    int lineHeight = 0;  // 0 until the first draw measures the view font

  private:
    Session& session;
    const QL_Settings& prefs;
};

// A new view in the current group, which owns it.
MsgDetail* CreateMsgDetail(int x, int y, int w, int h, Session& session, const QL_Settings& prefs);
