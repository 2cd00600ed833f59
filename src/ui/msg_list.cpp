#include "ui/msg_list.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "base/utils.h"
#include "decode/parser.h"
#include "session/row_finder.h"
#include "session/session.h"
#include "session/settings.h"
#include "store/filt_store.h"
#include "store/msg_store.h"
#include "ui/msg_detail.h"
#include "ui/ui_helpers.h"
#include "ui/windows.h"

namespace {

constexpr double kTick = 0.1;

void MsgListTimeoutCallback(void* data) {
    static_cast<MsgListFLTK*>(data)->Tick();
    Fl::repeat_timeout(kTick, MsgListTimeoutCallback, data);
}

}  // namespace

MsgListFLTK::MsgListFLTK(int x, int y, int w, int h, Session& session, const QL_Settings& prefs,
                         MainFrame* owner)
    : ScrollWin(x, y, w, h), session(session), prefs(prefs), owner(owner) {
    session.view().AddStoreListener(this);
    Fl::add_timeout(kTick, MsgListTimeoutCallback, this);
}

MsgListFLTK::~MsgListFLTK() {
    Fl::remove_timeout(MsgListTimeoutCallback, this);
}

MsgList* CreateMsgList(int x, int y, int w, int h, Session& session, const QL_Settings& prefs,
                       MainFrame* owner) {
    return new MsgListFLTK(x, y, w, h, session, prefs, owner);
}

bool MsgListFLTK::Measure() {
    if (lineHeight > 0) return true;
    fl_font(prefs.font, prefs.fontSize);
    const int height = fl_height();
    if (height <= 0) return false;
    auto width = [](const char* s) { return static_cast<int>(fl_width(s)); };
    portCol = width("B");
    msgCol = portCol + width("Port  ");
    // Message numbers of twelve digits: a capture of eight saturated ports for half a year.
    timeCol = msgCol + width("888888888888 ");
    idCol = timeCol + width("8888888.888888 ");  // seconds of a capture of four months
    dlcCol = idCol + width("0x88888888  ");
    dataCol = dlcCol + width("DLC  ");
    dataWidth = width("88 88 88 88 88 88 88 88   ");
    valueCol = dataCol + (rawData ? dataWidth : 0);
    lineHeight = height;
    yStep = height;
    return true;
}

int MsgListFLTK::Lines() const {
    return ContentHeight() / lineHeight - 1;
}

StoreIndex MsgListFLTK::MaxTop() {
    StoreIndex first, last;
    session.view().GetTotal(&first, &last);
    return std::max<StoreIndex>(last - (ContentHeight() / lineHeight - 2), first);
}

void MsgListFLTK::SetTop(StoreIndex top) {
    topIndex = top;
    vscroll.value(static_cast<double>(top - session.view().GetFirst()) * lineHeight);
    ReadOffsets();
    redraw();
}

void MsgListFLTK::ReadOffsets() {
    moving = true;
    _scrollwin_cb(&vscroll, static_cast<ScrollWin*>(this));
    moving = false;
}

void MsgListFLTK::OffsetsChanged() {
    if (lineHeight <= 0) return;
    topIndex = yoff / lineHeight + session.view().GetFirst();
    // The wheel or the vertical scrollbar: away from the end the view stays where the user put
    // it. A sideways scroll only moves the columns: it neither pauses nor resumes following.
    if (!moving && yoff != seenYoff) autoScroll = topIndex >= MaxTop();
    seenYoff = yoff;
}

void MsgListFLTK::Follow() {
    autoScroll = true;
    if (lineHeight > 0) SetTop(MaxTop());
    newData = true;  // the next tick puts the newest frame on the last row
}

StoreIndex MsgListFLTK::PausedAt() {
    return selFrame >= 0 ? selFrame : session.view().GetStoreIndex(topIndex);
}

void MsgListFLTK::AddStore(StoreIndex, StoreIndex, int) {
    newData = true;
}

void MsgListFLTK::ToggleDeltaTime() {
    deltaTime = !deltaTime;
    redraw();
}

void MsgListFLTK::ShowRawData(bool on) {
    rawData = on;
    if (lineHeight > 0) valueCol = dataCol + (on ? dataWidth : 0);
    redraw();
}

void MsgListFLTK::Tick() {
    if (!Measure()) return;
    StoreIndex first;
    const int total = session.view().GetTotal(&first, nullptr);
    const int lines = Lines();
    const StoreIndex newestLast = total > lines ? first + (total - lines) : first;
    // While following, the rows shown may change without new frames too (a resize, the horizontal
    // scrollbar appearing at the first drawing): the newest frame stays on the last row.
    if (!newData && !(autoScroll && topIndex != newestLast)) return;
    newData = false;
    if (autoScroll) {
        SetTop(newestLast);
    } else if (topIndex < first) {
        SetTop(first);
    } else if (topIndex > MaxTop()) {  // the view shrank under it: its end
        SetTop(MaxTop());
    } else {
        vscroll.value(static_cast<double>(topIndex - first) * lineHeight);
    }
    redraw();
}

void MsgListFLTK::Select(StoreIndex k) {
    StoreIndex first, last;
    session.view().GetTotal(&first, &last);
    k = std::max(std::min(k, last), first);
    const int lines = Lines();
    StoreIndex top = topIndex;
    if (topIndex > k)
        top = k;
    else if (topIndex + lines <= k)
        top = k - lines + 1;
    SetTop(top);
    selIndex = k;
    selFrame = session.view().GetStoreIndex(k);
    session.store().GetTxList(selFrame, txList);
    if (MainFrame* frame = owner) {
        if (MsgDetail* detail = frame->GetMsgDetail()) detail->SetSelected(selFrame);
        frame->FrameSelected(selFrame);
    }
    autoScroll = false;
    redraw();
}

FrameSelection MsgListFLTK::SelectFrame(StoreIndex index) {
    StoreIndex first, last;
    if (session.store().GetTotal(&first, &last) == 0 || index < first || index > last)
        return FrameSelection::kNotStored;
    const StoreIndex position = session.view().FindNdx(index);
    if (position < 0 || session.view().GetStoreIndex(position) != index)
        return FrameSelection::kFilteredOut;
    Select(position);
    return FrameSelection::kSelected;
}

void MsgListFLTK::ScrollBy(int lines) {
    SetTop(std::min(std::max(topIndex + lines, session.view().GetFirst()), MaxTop()));
    autoScroll = false;
    redraw();
}

void MsgListFLTK::Center() {
    SetTop(std::max(selIndex - Lines() / 2, session.view().GetFirst()));
}

bool MsgListFLTK::SelectionVisible() const {
    const StoreIndex row = selIndex - topIndex;
    return row >= 0 && (row + 1) * lineHeight + fl_descent() < ContentHeight();
}

void MsgListFLTK::ResetStarts() {
    rebuilding = true;
    resetTop = autoScroll ? -1 : session.view().GetStoreIndex(topIndex);
}

// After a rebuild the list shows the rows around the selected frame, else those from the time of
// the first row before, else the end. After the store was cleared (Play, Open, Clear, another
// decoder) it follows the new frames.
void MsgListFLTK::StoreReset() {
    const bool cleared = !rebuilding;
    if (selFrame >= 0) {
        Select(session.view().FindNdx(selFrame));
        if (selIndex >= 0) Center();
    } else if (rebuilding && lineHeight > 0) {
        StoreIndex top = MaxTop();
        if (resetTop >= 0) {
            const StoreIndex at =
                RowFinder(session.view(), session.store(), nullptr).RowOfNumber(resetTop);
            if (at >= 0) top = std::max(std::min(at, top), session.view().GetFirst());
        }
        SetTop(top);
    }
    rebuilding = false;
    newData = true;
    if (cleared) Follow();
}

void MsgListFLTK::content_size(int& w, int& h) {
    w = h = 0;
    if (!Measure()) return;
    w = valueCol + 5 * (dlcCol - idCol);  // room for a long description
    h = (session.view().GetTotal(nullptr, nullptr) + 2) * lineHeight;
}

void MsgListFLTK::draw_content(int x, int y, int w, int h, int xoff, int) {
    fl_color(FL_WHITE);
    fl_rectf(x, y, w, h);
    if (!Measure()) return;
    fl_font(prefs.font, prefs.fontSize);
    const int left = x - xoff;  // the columns follow the horizontal scrollbar

    fl_color(FL_DARK1);
    fl_rectf(x, y, w, lineHeight + fl_descent());
    fl_color(FL_BLACK);
    fl_draw("Port", left + portCol, y + lineHeight);
    fl_draw("Msg #", left + msgCol, y + lineHeight);
    fl_draw("Time", left + timeCol, y + lineHeight);
    fl_draw("ID", left + idCol, y + lineHeight);
    fl_draw("DLC", left + dlcCol, y + lineHeight);
    if (rawData) fl_draw("Data", left + dataCol, y + lineHeight);
    fl_draw("Value", left + valueCol, y + lineHeight);

    StoreIndex first, last;
    session.view().GetTotal(&first, &last);
    if (topIndex < first) {
        vscroll.value(0);
        ReadOffsets();
        topIndex = first;
    }
    const int rows = h / lineHeight;
    if (rows < 1 || topIndex > last) return;

    const uint32_t exchangeSize = txList.Count();
    uint32_t exchangeAt = 0;  // the list and the rows both ascend: one walk along the rows
    CANframe frame;
    for (int i = 0; i < rows && topIndex + i <= last; i++) {
        const StoreIndex position = topIndex + i;
        const int baseline = y + (i + 2) * lineHeight;
        const StoreIndex index = session.view().GetStoreIndex(position);
        if (index < 0 || !session.view().Get(position, frame)) continue;
        const MsgRowTexts texts = RowTexts(position, index, frame);
        while (exchangeAt < exchangeSize && txList[exchangeAt] < index) exchangeAt++;
        const bool inExchange = exchangeAt < exchangeSize && txList[exchangeAt] == index;
        if (index == selFrame) {
            fl_color(FL_BLUE);
            fl_rectf(x, baseline - lineHeight + fl_descent(), w, lineHeight);
            fl_color(FL_WHITE);
        } else if (inExchange) {
            fl_color(FL_BLUE);
        } else if (frame.type == FRAME_TEXT) {
            fl_color(FL_DARK_CYAN);
        } else {
            fl_color(GetColors(std::max<int>(frame.status, 0))->text);
        }
        fl_draw(texts.port.c_str(), left + portCol, baseline);
        fl_draw(texts.msg.c_str(), left + msgCol, baseline);
        fl_draw(texts.time.c_str(), left + timeCol, baseline);
        fl_draw(texts.id.c_str(), left + idCol, baseline);
        fl_draw(texts.dlc.c_str(), left + dlcCol, baseline);
        if (rawData) fl_draw(texts.data.c_str(), left + dataCol, baseline);
        fl_draw(texts.value.c_str(), left + valueCol, baseline);
    }
}

MsgRowTexts MsgListFLTK::RowTexts(StoreIndex position, StoreIndex index, CANframe& frame) {
    MsgRowTexts texts;
    texts.port = Format("%d", frame.port);
    texts.msg = Format("%lld", static_cast<long long>(index));
    if (Parser* parser = session.decoder()) texts.value = parser->GetShortDesc(frame);
    // A text line is no frame: it has no identifier, length or bytes, and its time, when it has
    // one, is the log's and not the bus's.
    if (frame.type == FRAME_TEXT) return texts;
    texts.time = TimeText(position, frame);
    // An error frame's identifier holds the card's error bits, shown whole; an identifier with
    // bits beyond its kind shows them all rather than another frame's.
    const uint32_t id = frame.BareId();
    if (frame.type == FRAME_ERROR)
        texts.id = Format("0x%08x", frame.id);
    else
        texts.id = Format(frame.IsExtended() || id > kStandardIdMask ? "0x%08x" : "0x%03x", id);
    texts.dlc = Format("%d", static_cast<int>(frame.length));
    if (frame.type == FRAME_RTR) return texts;  // a request for bytes carries none
    for (int i = 0; i < frame.length && i < 8; i++)
        texts.data += Format(i ? " %02x" : "%02x", frame.data[i]);
    return texts;
}

std::string MsgListFLTK::TimeText(StoreIndex position, const CANframe& frame) {
    if (!deltaTime) return Format("%-11.6lf", frame.timestamp * 1e-6);
    // A text line shows no time, so it has no delta and is no reference: the reference is the
    // nearest frame above.
    if (frame.type == FRAME_TEXT) return "";
    CANframe previous;
    for (StoreIndex row = position - 1;; row--) {
        const StoreIndex before = session.view().GetStoreIndex(row);
        if (before < 0 || !session.store().Get(before, previous)) return Format("%-11.6lf", 0.0);
        if (previous.type != FRAME_TEXT)
            return Format("%-11.6lf",
                          static_cast<int64_t>(frame.timestamp - previous.timestamp) * 1e-6);
    }
}

int MsgListFLTK::handle(int event) {
    if (event == FL_FOCUS) return 1;
    if (event == FL_KEYDOWN) {
        if (!Measure()) return 0;
        fl_font(prefs.font, prefs.fontSize);  // the visibility test uses its descent
        const bool visible = SelectionVisible();
        const int lines = Lines();
        switch (Fl::event_key()) {
            case FL_Down:
                visible ? Select(selIndex + 1) : ScrollBy(1);
                return 1;
            case FL_Up:
                visible ? Select(selIndex - 1) : ScrollBy(-1);
                return 1;
            case FL_Page_Down:
                visible ? Select(selIndex + lines) : ScrollBy(lines);
                return 1;
            case FL_Page_Up:
                visible ? Select(selIndex - lines) : ScrollBy(-lines);
                return 1;
            case FL_Home:
                SetTop(std::min(std::max<StoreIndex>(session.view().GetFirst(), 0), MaxTop()));
                autoScroll = false;
                return 1;
            case FL_End:
                Follow();
                return 1;
            case 'c':
                if (visible) Center();
                return 1;
            default:
                return 0;
        }
    }
    if (event != FL_MOUSEWHEEL && event != FL_PUSH) return 0;
    if (!Measure()) return 0;
    fl_font(prefs.font, prefs.fontSize);
    const int ex = Fl::event_x() - (x() + Fl::box_dx(box()));
    const int ey = Fl::event_y() - (y() + Fl::box_dy(box())) - fl_descent();
    if (ex < 0 || ex >= ContentWidth() || ey < 0 || ey >= ContentHeight()) return 0;
    if (event == FL_MOUSEWHEEL) return vscroll.handle(event);
    if (Fl::event_key() != FL_Button + FL_LEFT_MOUSE) return 0;
    Select(ey / lineHeight + topIndex - 1);
    take_focus();
    return 1;
}
