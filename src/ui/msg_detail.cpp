#include "ui/msg_detail.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "base/utils.h"
#include "decode/parser.h"
#include "session/session.h"
#include "session/settings.h"
#include "store/msg_store.h"
#include "ui/ui_helpers.h"

MsgDetailFLTK::MsgDetailFLTK(int x, int y, int w, int h, Session& session, const QL_Settings& prefs)
    : ScrollWin(x, y, w, h), session(session), prefs(prefs) {}

MsgDetail* CreateMsgDetail(int x, int y, int w, int h, Session& session, const QL_Settings& prefs) {
    return new MsgDetailFLTK(x, y, w, h, session, prefs);
}

void MsgDetailFLTK::SetSelected(StoreIndex storeIndex) {
    message.reset();
    selFrame = storeIndex;
    selLine = -1;
    if (storeIndex != -1) {
        CANframe frame;
        Parser* decoder = session.decoder();
        if (decoder && session.store().Get(storeIndex, frame))
            message.reset(decoder->Parse(frame));
        else
            selFrame = -1;
    }
    redraw();
}

void MsgDetailFLTK::content_size(int& cw, int& ch) {
    cw = ch = 0;
    if (selFrame < 0 || !message) return;
    fl_font(prefs.font, prefs.fontSize);
    const int wX = static_cast<int>(fl_width("X"));
    ch = (message->numLines + 2) * lineHeight;
    cw = std::max(message->maxSubFragLen * wX + indent, message->maxFragLen * wX) + margin + indent;
}

void MsgDetailFLTK::draw_content(int x, int y, int w, int h, int xoff, int yoff) {
    fl_color(FL_WHITE);
    fl_rectf(x, y, w, h);
    fl_font(prefs.font, prefs.fontSize);
    if (lineHeight == 0) {
        lineHeight = fl_height();
        margin = static_cast<int>(fl_width("B"));
        indent = static_cast<int>(fl_width("XXX"));
    }
    if (selFrame < 0 || !message) return;

    const ParseFrag* highlighted = nullptr;
    int line = 1;
    int baseline = y + 2 * lineHeight - yoff;
    for (int row = 0;; row++) {
        if (!message->getFrag(row, 0)) break;
        for (int col = 0; const ParseFrag* frag = message->getFrag(row, col); col++) {
            static const Severity kEntry[4] = {Severity::kNormal, Severity::kWarning,
                                               Severity::kError, Severity::kError};
            const LevelColors* colors = GetColors(static_cast<int>(kEntry[frag->level & 3]));
            if (line == selLine) {
                fl_color(colors->text);
                fl_rectf(x, baseline - lineHeight + fl_descent(), w, lineHeight);
                fl_color(colors->background);
                highlighted = frag;
            } else {
                fl_color(colors->text);
            }
            const int textX = x + margin + indent - xoff + (col > 0 ? indent : 0);
            fl_draw(frag->text.c_str(), textX, baseline);
            baseline += lineHeight;
            line++;
        }
    }

    // The identifier line, with what the highlighted line describes in blue.
    const CANframe& frame = message->getFrame();
    const int first = highlighted ? highlighted->first : 1;
    const int last = highlighted ? highlighted->first + highlighted->count - 1 : 0;
    auto covers = [&](int position) {
        return highlighted && first <= position && position <= last;
    };
    int textX = x + margin - xoff;
    const int idBaseline = y + lineHeight - yoff;
    auto put = [&](const std::string& text, bool blue) {
        fl_color(blue ? FL_BLUE : FL_BLACK);
        fl_draw(text.c_str(), textX, idBaseline);
        textX += static_cast<int>(fl_width(text.c_str()));
    };
    std::string id;
    if (frame.type == FRAME_ERROR)
        id = Format("0x%08x: ", frame.id);
    else if (frame.id & kExtendedMark)
        id = Format("0x%08x: ", frame.id & kExtendedIdMask);
    else
        id = Format("0x%03x: ", frame.id & kStandardIdMask);
    put(id, highlighted && first < 0 && last >= -1);
    if (frame.type == FRAME_RTR) {
        put("Remote frame", covers(0));
        return;
    }
    for (int i = 0; i < frame.length && i < 8; i++)
        put(Format("0x%02x ", frame.data[i]), covers(i));
}

int MsgDetailFLTK::handle(int event) {
    switch (event) {
        case FL_FOCUS:
            return 1;
        case FL_KEYDOWN:
            if (Fl::event_key() == FL_Up) {
                if (selLine >= 2) {
                    selLine--;
                    redraw();
                }
                return 1;
            }
            if (Fl::event_key() == FL_Down) {
                if (selLine < (message ? message->numLines : 0)) {
                    selLine++;
                    redraw();
                }
                return 1;
            }
            return 0;
        default:
            break;
    }
    fl_font(prefs.font, prefs.fontSize);
    const int ex = Fl::event_x() - (x() + Fl::box_dx(box()));
    const int ey = Fl::event_y() - (y() + Fl::box_dy(box())) - fl_descent();
    if (ex < 0 || ex >= ContentWidth() || ey < 0 || ey >= ContentHeight()) return 0;
    if (event == FL_MOUSEWHEEL) return vscroll.handle(event);
    if (event == FL_PUSH && Fl::event_key() == FL_Button + FL_LEFT_MOUSE && lineHeight > 0) {
        selLine = (yoff + ey) / lineHeight;
        take_focus();
        redraw();
        return 1;
    }
    return 0;
}
