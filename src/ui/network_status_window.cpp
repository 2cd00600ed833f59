#include "ui/network_status_window.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "base/utils.h"
#include "session/session.h"
#include "status/status_tables.h"
#include "store/msg_store.h"
#include "ui/ui_helpers.h"

namespace {

constexpr double kRefresh = 0.2;  // seconds between updates
// How often the event loop runs while the filtered view is rebuilt: below the list's 0.1 s timer.
constexpr auto kLiveInterval = std::chrono::milliseconds(40);
constexpr int kWidth = 960, kHeight = 560;
constexpr int kFilterWidth = 110;
constexpr int kTabHeight = 25;
constexpr int kStatusHeight = 36;  // two lines
constexpr size_t kTransferChunk = 16384;

NetworkStatusWindowFLTK* Self(void* data) {
    return static_cast<NetworkStatusWindowFLTK*>(data);
}

void cb_refresh(void* data) {
    Self(data)->Refresh(false);
    Fl::repeat_timeout(kRefresh, cb_refresh, data);
}
void cb_filter(Fl_Widget*, void* data) {
    Self(data)->Filter();
}
void cb_filtered(Fl_Widget* w, void* data) {
    Self(data)->FollowFiltered(static_cast<Fl_Check_Button*>(w)->value() != 0);
}
void cb_copy(Fl_Widget*, void* data) {
    Self(data)->Copy();
}
void cb_tabs(Fl_Widget*, void* data) {
    Self(data)->message.clear();
    Self(data)->ShowStatus();
}
void cb_view(Fl_Widget* w, void* data) {
    auto* view = static_cast<StatusTableView*>(w);
    if (view != Self(data)->transfers || view->callback_context() != Fl_Table::CONTEXT_CELL) return;
    const int64_t frame = view->Frame(view->callback_row());
    if (frame >= 0) Self(data)->GoToFrame(frame);
}

// The window of the status: the timer runs while it is shown, also across iconifying.
class StatusWindow : public Fl_Double_Window {
  public:
    StatusWindow(int x, int y, NetworkStatusWindowFLTK& owner)
        : Fl_Double_Window(x, y, kWidth, kHeight, "Network status"), owner(owner) {}
    explicit StatusWindow(NetworkStatusWindowFLTK& owner)
        : Fl_Double_Window(kWidth, kHeight, "Network status"), owner(owner) {}
    int handle(int event) override {
        if (event == FL_SHOW) owner.StartUpdates();
        if (event == FL_HIDE) owner.StopUpdates();
        return Fl_Double_Window::handle(event);
    }
    void hide() override {
        owner.StopUpdates();
        Fl_Double_Window::hide();
    }

  private:
    NetworkStatusWindowFLTK& owner;
};

int ColumnNamed(const StatusTable& table, const char* name) {
    for (size_t c = 0; c < table.columns.size(); c++)
        if (std::strcmp(table.columns[c].name, name) == 0) return static_cast<int>(c);
    return -1;
}

// A field's number; -1 (any) when it is empty, and also when it is no number, which shows red.
int FieldValue(Fl_Input* field) {
    std::string text = field->value();
    TrimString(text);
    bool ok = true;
    const int value = text.empty() ? -1 : StrToInt(text, &ok);
    const bool valid = ok && value >= -1;
    field->textcolor(valid ? FL_FOREGROUND_COLOR : FL_RED);
    field->redraw();
    return valid ? value : -1;
}

bool SameTransfer(const TransferRecord& a, const TransferRecord& b) {
    return a.firstFrame == b.firstFrame && a.start == b.start && a.object == b.object &&
           a.port == b.port && a.node == b.node;
}

}  // namespace

NetworkStatusWindowFLTK::NetworkStatusWindowFLTK(Session& session, MainFrame* owner)
    : session(session), owner(owner) {}

NetworkStatusWindowFLTK::~NetworkStatusWindowFLTK() {
    StopUpdates();
    window.reset();
}

void NetworkStatusWindowFLTK::Build() {
    int x = -1, y = -1;
    if (owner) owner->GetXY(x, y);
    if (x >= 0 && y >= 0)
        window = std::make_unique<StatusWindow>(x + 100, y + 100, *this);
    else
        window = std::make_unique<StatusWindow>(*this);
    const int m = GetMargin();
    fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
    int bw, bh;
    BtnSize("Copy", bw, bh);
    // The filters at the left, Copy at the right; the room between them takes a resize.
    auto* top = new Fl_Group(m, m, kWidth - 2 * m, bh);
    portInput = NewInputField(m, m, kFilterWidth, "Port: ");
    portInput->tooltip("Only the rows of this port; empty for all");
    nodeInput = NewInputField(2 * m + kFilterWidth, m, kFilterWidth, "Node: ");
    nodeInput->tooltip("Only the rows of this node (decimal or 0x hexadecimal); empty for all");
    for (Fl_Input* field : {portInput, nodeInput}) {
        field->callback(cb_filter, this);
        field->when(FL_WHEN_CHANGED);
    }
    const int checkX = 3 * m + 2 * kFilterWidth, checkW = 200;
    filteredButton = new Fl_Check_Button(checkX, m, checkW, FieldHeight(), "Only filtered frames");
    filteredButton->tooltip("Count only the frames the display filter passes");
    filteredButton->callback(cb_filtered, this);
    int bx = kWidth - m - bw, by = m;
    copyButton = NewBtn(bx, by, 0, "Copy", cb_copy, this,
                        "Copy the selected rows as tab-separated text (Ctrl+C)");
    copyButton->shortcut(FL_CTRL + 'c');
    top->resizable(new Fl_Box(checkX + checkW, m, bx - checkX - checkW, bh));
    top->end();

    const int tabsY = 2 * m + bh;
    const int tabsH = kHeight - tabsY - kStatusHeight - m;
    tabs = new Fl_Tabs(m, tabsY, kWidth - 2 * m, tabsH);
    tabs->callback(cb_tabs, this);
    const StatusSnapshot empty;
    StatusTables tables(nullptr, nullptr);
    const StatusTable columns[] = {tables.Nodes(empty), tables.Identifiers(empty),
                                   tables.Transfers({}, 0, 0)};
    const char* const labels[] = {"Nodes", "Identifiers", "Transfers"};
    StatusTableView* views[3];
    for (int t = 0; t < 3; t++) {
        views[t] = new StatusTableView(m, tabsY + kTabHeight, kWidth - 2 * m, tabsH - kTabHeight,
                                       labels[t]);
        views[t]->callback(cb_view, this);
        views[t]->when(FL_WHEN_NEVER);  // called only when the user selects
    }
    nodes = views[0];
    ids = views[1];
    transfers = views[2];
    // Rows are told apart by port and node, by port and identifier, by their first frame.
    nodes->SetColumns(columns[0].columns, {0, 1}, -1);
    ids->SetColumns(columns[1].columns, {0, 1}, ColumnNamed(columns[1], "data"));
    transfers->SetColumns(columns[2].columns, {ColumnNamed(columns[2], "frame")}, -1);
    tabs->end();
    window->resizable(tabs);

    statusLine = new Fl_Box(m, kHeight - kStatusHeight - m / 2, kWidth - 2 * m, kStatusHeight);
    statusLine->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    window->size_range(400, 250);
    window->end();
}

void NetworkStatusWindowFLTK::Show() {
    if (!window) Build();
    window->show();
    StartUpdates();
}

void NetworkStatusWindowFLTK::StartUpdates() {
    if (updating) return;
    updating = true;
    Refresh(true);
    Fl::add_timeout(kRefresh, cb_refresh, this);
}

void NetworkStatusWindowFLTK::StopUpdates() {
    Fl::remove_timeout(cb_refresh, this);
    updating = false;
}

StatusTableView* NetworkStatusWindowFLTK::Current() {
    return static_cast<StatusTableView*>(tabs->value());
}

void NetworkStatusWindowFLTK::Restart() {
    frames = 0;
    nextTransfer = 0;
    lastTransfer = TransferRecord();
    dropped = 0;
    endedRows = 0;
    openRows = 0;
    transfers->Update(0, transfers->Total(), {});
}

void NetworkStatusWindowFLTK::Refresh(bool force) {
    if (!window || rebuilding) return;
    NetworkStatus& source = following ? session.filteredStatus() : session.status();
    // The last transfer taken is asked for again: when it is another, the status was restarted
    // in the meantime, as it was when fewer frames or transfers were counted.
    const uint64_t asked = nextTransfer > 0 ? nextTransfer - 1 : 0;
    StatusSnapshot s = source.Snapshot(asked);
    uint64_t first = std::max(asked, s.transfersFirst);  // sequence number of s.transfers[0]
    const bool restarted = s.frames < frames || s.transfersEnded < nextTransfer ||
                           (nextTransfer > 0 && first == asked && s.openFrom > 0 &&
                            !SameTransfer(s.transfers[0], lastTransfer));
    if (restarted) {
        Restart();
        s = source.Snapshot(0);
        first = s.transfersFirst;
    }
    // While ports are read, time runs on when the bus falls silent: heartbeats grow late.
    const int64_t clock = session.readers().PortClock();
    if (!restarted && clock < 0 && !force && s.frames == frames && s.transfersEnded == nextTransfer)
        return;  // nothing counted since: the tables would be the same
    s.now = std::max(s.now, clock);
    // The ended transfers not taken yet; those the status dropped before count as dropped.
    const size_t skip = nextTransfer > first ? static_cast<size_t>(nextTransfer - first) : 0;
    const uint64_t missed = first > nextTransfer ? first - nextTransfer : 0;
    const size_t fresh = s.openFrom - skip;
    if (fresh > 0) lastTransfer = s.transfers[s.openFrom - 1];
    nextTransfer = s.transfersEnded;
    frames = s.frames;

    StatusTables tables(session.decoder(), &session.network());
    StatusTable table = tables.Nodes(s);
    nodes->Update(0, nodes->Total(), std::move(table.rows));
    notes[0] = std::move(table.notes);
    table = tables.Identifiers(s);
    ids->Update(0, ids->Total(), std::move(table.rows));
    notes[1] = std::move(table.notes);

    // The window keeps the newest kMaxTransfers that ended, then the ones under way. The new ones
    // become rows a chunk at a time: after a long capture there may be a million.
    const size_t total = endedRows + fresh;
    const size_t drop =
        total > NetworkStatus::kMaxTransfers ? total - NetworkStatus::kMaxTransfers : 0;
    size_t front = std::min(drop, endedRows);  // rows that leave the table's top
    size_t back = openRows;                    // and its bottom
    endedRows = total - drop;
    dropped += missed + drop;
    for (size_t at = skip + (drop - front); at < s.openFrom; at += kTransferChunk) {
        const auto begin = s.transfers.begin() + static_cast<std::ptrdiff_t>(at);
        const std::vector<TransferRecord> chunk(
            begin, begin + static_cast<std::ptrdiff_t>(std::min(kTransferChunk, s.openFrom - at)));
        transfers->Update(front, back, tables.Transfers(chunk, chunk.size(), 0).rows);
        front = back = 0;
    }
    const std::vector<TransferRecord> open(
        s.transfers.begin() + static_cast<std::ptrdiff_t>(s.openFrom), s.transfers.end());
    StatusTable underWay = tables.Transfers(open, 0, dropped);
    notes[2] = std::move(underWay.notes);
    openRows = underWay.rows.size();
    transfers->Update(front, back, std::move(underWay.rows));
    ShowStatus();
}

void NetworkStatusWindowFLTK::ShowStatus() {
    if (!window) return;
    StatusTableView* view = Current();
    std::string text = Format(
        "%llu frames counted%s; %d of %zu rows shown", static_cast<unsigned long long>(frames),
        following ? " (only filtered frames)" : "", view->rows(), view->Total());
    std::string said;
    const auto say = [&said](const std::string& s) { said += (said.empty() ? "" : ". ") + s; };
    const int tab = view == nodes ? 0 : view == ids ? 1 : 2;
    for (const std::string& note : notes[static_cast<size_t>(tab)]) say(note);
    const int capacity = session.store().GetMax();
    if (frames > static_cast<uint64_t>(capacity))
        say(
            Format("The store holds the last %d frames; the status covers all %llu frames since "
                   "the last Clear",
                   capacity, static_cast<unsigned long long>(frames)));
    if (!message.empty()) say(message);
    text = LabelText(text + "\n" + said);
    if (!statusLine->label() || text != statusLine->label()) statusLine->copy_label(text.c_str());
}

void NetworkStatusWindowFLTK::Filter() {
    const int port = FieldValue(portInput);
    const int node = FieldValue(nodeInput);
    for (StatusTableView* view : {nodes, ids, transfers}) view->SetFilter(port, node);
    ShowStatus();
}

void NetworkStatusWindowFLTK::FollowFiltered(bool on) {
    if (rebuilding) {  // clicked again while the view is rebuilt
        filteredButton->value(following);
        return;
    }
    following = on;
    struct RebuildingFlag {
        bool& flag;
        explicit RebuildingFlag(bool& f) : flag(f) { flag = true; }
        ~RebuildingFlag() { flag = false; }
    };
    {
        RebuildingFlag flag(rebuilding);
        if (on && owner) owner->StopFind();  // a find counts the rows the rebuild renumbers
        auto last = std::chrono::steady_clock::now();
        session.FollowFilteredStatus(on, [&last] {
            const auto now = std::chrono::steady_clock::now();
            if (now - last < kLiveInterval) return;
            last = now;
            Fl::check();
        });
    }
    Restart();
    Refresh(true);
}

void NetworkStatusWindowFLTK::Copy() {
    const std::string text = Current()->SelectedText();
    if (!text.empty()) Fl::copy(text.c_str(), static_cast<int>(text.size()), 1);
}

void NetworkStatusWindowFLTK::GoToFrame(int64_t index) {
    if (!owner) return;
    switch (owner->SelectFrame(index)) {
        case FrameSelection::kSelected:
            message.clear();
            break;
        case FrameSelection::kFilteredOut:
            message =
                Format("Frame %lld is not in the filtered list", static_cast<long long>(index));
            break;
        case FrameSelection::kNotStored:
            message = Format("Frame %lld is no longer in the store", static_cast<long long>(index));
            break;
    }
    ShowStatus();
}

std::unique_ptr<NetworkStatusWindow> CreateNetworkStatusWindow(Session& session, MainFrame* owner) {
    return std::make_unique<NetworkStatusWindowFLTK>(session, owner);
}
