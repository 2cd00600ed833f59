#include "ui/plot_window.h"

#include <FL/Fl.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/utils.h"
#include "hw/can_intf.h"
#include "plot/plot_png.h"
#include "plot/trace_csv.h"
#include "session/session.h"
#include "store/msg_store.h"
#include "ui/ui_helpers.h"

namespace {

constexpr int kWidth = 1000, kHeight = 620;
constexpr int kPanel = 330;  // the left column's width
constexpr int kRow = 18;     // a browser line
constexpr double kTick = 0.1;
constexpr char kHelp[] =
    "Wheel: zoom   Drag: pan   Shift+drag or right-drag: zoom to the rectangle marked   Home: show "
    "all   Click: select the chosen trace's frame in the list";

PlotWindow* Self(void* data) {
    return static_cast<PlotWindow*>(data);
}

void cb_tick(void* data) {
    Self(data)->Tick();
    Fl::repeat_timeout(kTick, cb_tick, data);
}
void cb_choice(Fl_Widget*, void* data) {
    if (Fl::event_clicks()) Self(data)->PlotChoice();
}
void cb_plot(Fl_Widget*, void* data) {
    Self(data)->PlotChoice();
}
void cb_rescan(Fl_Widget*, void* data) {
    Self(data)->Scan();
}
void cb_add(Fl_Widget*, void* data) {
    Self(data)->Plot(Self(data)->seriesInput->value());
}
void cb_trace(Fl_Widget* w, void* data) {
    const int line = static_cast<Fl_Hold_Browser*>(w)->value();
    if (line > 0) Self(data)->ChooseTrace(line - 1);
}
void cb_remove(Fl_Widget*, void* data) {
    Self(data)->RemoveTrace();
}
void cb_look(Fl_Widget* w, void* data) {
    Self(data)->LookChanged(w);
}
void cb_csv(Fl_Widget*, void* data) {
    Self(data)->AskExportCsv();
}
void cb_png(Fl_Widget*, void* data) {
    Self(data)->AskSavePng();
}
void cb_close(Fl_Widget*, void* data) {
    Self(data)->Close();
}

// The first colour no trace has.
int FreeColor(const std::vector<int>& taken) {
    int c = 0;
    while (std::find(taken.begin(), taken.end(), c) != taken.end()) c++;
    return c;
}

}  // namespace

void PlotFeed::Count(StoreIndex index, const CANframe& frame) {
    if (frame.type != FRAME_TEXT) newest = frame.timestamp;
    SeriesFeed::Count(index, frame);
}

void PlotFeed::RunEnds() {
    fed = true;
    SeriesFeed::RunEnds();
}

void PlotFeed::Restart() {
    SeriesFeed::Restart();
    {
        auto hold = Hold();
        newest = -1;
    }
    restarted = true;
}

PlotWindow::PlotWindow(Session& session, PlotOwner& owner, int x, int y)
    : session(session),
      owner(owner),
      feed(session.decoder()),
      fileChooser(std::make_unique<Fl_Native_File_Chooser>(0)) {
    const int m = GetMargin();
    window = std::make_unique<Fl_Double_Window>(x, y, kWidth, kHeight, "Plot");
    window->callback(cb_close, this);
    fl_font(FL_HELVETICA, FL_NORMAL_SIZE);

    controls = new Fl_Group(0, 0, kPanel, kHeight);
    const int w = kPanel - 2 * m;
    int cy = m + kRow;
    choiceList = new Fl_Hold_Browser(m, cy, w, 12 * kRow, "Series the stored frames can trace:");
    choiceList->align(FL_ALIGN_TOP_LEFT);
    choiceList->textsize(12);
    choiceList->callback(cb_choice, this);
    choiceList->tooltip("Double-click a series, or choose it and press Plot");
    cy += choiceList->h() + m / 2;
    int bx = m;
    NewBtn(bx, cy, 1, "Plot", cb_plot, this, "Plot the chosen series");
    NewBtn(bx, cy, 1, "Rescan", cb_rescan, this, "List what the frames stored now can trace");
    cy += BtnHeight() + m;
    const int labelWidth = static_cast<int>(fl_width("Series: ")) + 4;
    int aw, ah;
    BtnSize("Add", aw, ah);
    seriesInput =
        new Fl_Input(m + labelWidth, cy, w - labelWidth - aw - m / 2, FieldHeight(), "Series:");
    seriesInput->tooltip(
        "NODE:INDEX[:SUB][@PORT], load:PORT, rate:ID[@PORT], rate:all[@PORT] or errors[@PORT]");
    seriesInput->when(FL_WHEN_ENTER_KEY_ALWAYS);
    seriesInput->callback(cb_add, this);
    bx = kPanel - m - aw;
    int by = cy - (BtnHeight() - FieldHeight()) / 2;
    NewBtn(bx, by, 0, "Add", cb_add, this, "Plot the series written in the field");
    cy += BtnHeight() + m + kRow;
    traceList = new Fl_Hold_Browser(m, cy, w, static_cast<int>(SeriesFeed::kMaxSeries) * kRow + 4,
                                    "Traces (the chosen one's scale is shown):");
    traceList->align(FL_ALIGN_TOP_LEFT);
    traceList->callback(cb_trace, this);
    cy += traceList->h() + m / 2;
    visibleButton = new Fl_Check_Button(m, cy, 80, FieldHeight(), "Visible");
    visibleButton->callback(cb_look, this);
    autoButton = new Fl_Check_Button(m + 85, cy, 100, FieldHeight(), "Auto scale");
    autoButton->callback(cb_look, this);
    autoButton->tooltip("Scale to the values in view, else from Min to Max");
    int rw, rh;
    BtnSize("Remove", rw, rh);
    bx = kPanel - m - rw;
    by = cy;
    NewBtn(bx, by, 0, "Remove", cb_remove, this, "Remove the chosen trace");
    cy += BtnHeight() + m / 2;
    const int half = (w - m) / 2;
    const int minLabel = static_cast<int>(fl_width("Min: ")) + 4;
    minInput = new Fl_Float_Input(m + minLabel, cy, half - minLabel, FieldHeight(), "Min:");
    maxInput =
        new Fl_Float_Input(m + half + m + minLabel, cy, half - minLabel, FieldHeight(), "Max:");
    for (Fl_Float_Input* input : {minInput, maxInput}) {
        input->when(FL_WHEN_ENTER_KEY_ALWAYS);
        input->callback(cb_look, this);
        input->tooltip("A fixed scale: Enter applies it");
    }
    controls->end();
    controls->resizable(nullptr);

    progress = new Fl_Progress(m, kHeight - m - FieldHeight(), w, FieldHeight());
    progress->minimum(0);
    progress->maximum(1);
    progress->selection_color(fl_rgb_color(0x44, 0x44, 0xFF));
    progress->hide();

    const int px = kPanel, pw = kWidth - kPanel - m;
    const int ph = kHeight - 3 * m - BtnHeight();
    plot = new PlotWidget(px, m, pw, ph, *this);
    plot->onPick = [this](int64_t time) { Pick(time); };
    plot->onChoose = [this](int i) { ChooseTrace(i); };
    plot->onBand = [this](double low, double high) { Band(low, high); };
    plot->onHome = [this] { Home(); };
    int cw, ch, pngw, pngh;
    BtnSize("Export CSV...", cw, ch);
    BtnSize("Save PNG...", pngw, pngh);
    bx = kWidth - m - pngw - m - cw;
    by = kHeight - m - BtnHeight();
    auto* help = new Fl_Box(px, by, bx - px - m, BtnHeight(), kHelp);
    help->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_WRAP | FL_ALIGN_CLIP);
    help->labelsize(11);
    NewBtn(bx, by, 1, "Export CSV...", cb_csv, this, "Write the visible times' values as CSV");
    NewBtn(bx, by, 1, "Save PNG...", cb_png, this, "Save the plot as a PNG picture");
    window->end();
    window->resizable(plot);
    window->size_range(kPanel + 300, 400);

    session.AttachFeed(&feed);
    ShowTraces();
    window->show();
    Fl::add_timeout(kTick, cb_tick, this);
    Scan();
}

PlotWindow::~PlotWindow() {
    Fl::remove_timeout(cb_tick, this);
    // First, while what its widgets' callbacks use is still there (hiding moves the focus).
    window.reset();
    session.DetachFeed(&feed);
}

void PlotWindow::Busy(const std::function<void(const std::function<bool(double)>&)>& work) {
    busy++;
    // Deactivating takes the focus away: given back after, so that typing goes on.
    Fl_Widget* focused = Fl::focus();
    controls->deactivate();
    progress->value(0);
    progress->show();
    work([this](double share) {
        progress->value(static_cast<float>(share));
        Fl::check();
        return !closing;
    });
    if (--busy > 0) return;
    progress->hide();
    controls->activate();
    if (focused && controls->contains(focused)) focused->take_focus();
    if (closing) owner.PlotClosed(this);
}

void PlotWindow::Scan() {
    std::vector<SeriesChoice> found;
    Busy([&](const std::function<bool(double)>& step) {
        found = SeriesChoices(session.store(), session.decoder(), session.network(), kChoiceFrames,
                              [&](double share) { step(share); });
    });
    if (closing) return;
    choices = std::move(found);
    choiceList->clear();
    for (const SeriesChoice& c : choices) choiceList->add(("@." + c.text).c_str());
}

int PlotWindow::BitRate(const SeriesDef& def) {
    // As Play reads the port; a log's port without a card: the usual rate.
    if (def.kind != SeriesDef::Kind::kLoad) return SeriesFeed::kDefaultBitRate;
    std::vector<int> codes(PortTable::kMaxPorts, -1);
    const int found = session.ports().GetPortList(codes.data(), PortTable::kMaxPorts);
    return def.port < found && codes[static_cast<size_t>(def.port)] >= 0
               ? CanIntf::GetBPS(codes[static_cast<size_t>(def.port)])
               : SeriesFeed::kDefaultBitRate;
}

bool PlotWindow::Plot(const std::string& text) {
    if (busy) return false;
    SeriesDef def;
    std::string error;
    if (!SeriesDef::Parse(text, &def, &error)) {
        fl_alert("%s", error.c_str());
        return false;
    }
    std::vector<int> colors;
    for (size_t i = 0; i < looks.size(); i++) {
        if (feed.Def(i) == def) {
            fl_alert("%s is plotted already", def.Text().c_str());
            return false;
        }
        colors.push_back(looks[i].colorIndex);
    }
    const int i = feed.Add(def, BitRate(def));
    if (i < 0) {
        fl_alert("At most %zu traces can be plotted", SeriesFeed::kMaxSeries);
        return false;
    }
    Look look;
    look.label = def.Text();
    for (const SeriesChoice& c : choices)
        if (c.def == def && !c.name.empty()) look.label += " " + c.name;
    look.colorIndex = FreeColor(colors);
    look.color = TraceColor(look.colorIndex);
    looks.push_back(look);
    ChooseTrace(i);
    Busy([&](const std::function<bool(double)>& step) { feed.Backfill(i, session.store(), step); });
    // The first trace is shown whole, wherever the range was.
    if (closing) return true;
    if (looks.size() == 1)
        plot->ShowAll();
    else
        plot->Update();
    return true;
}

void PlotWindow::PlotChoice() {
    const int line = choiceList->value();
    if (line > 0 && static_cast<size_t>(line) <= choices.size())
        Plot(choices[static_cast<size_t>(line - 1)].def.Text());
}

void PlotWindow::ShowTraces() {
    traceList->clear();
    for (const Look& look : looks) {
        const Fl_Color color = fl_rgb_color(look.color.r, look.color.g, look.color.b);
        traceList->add(Format("@C%u@b@.%s%s", static_cast<unsigned>(color), look.label.c_str(),
                              look.visible ? "" : " (hidden)")
                           .c_str());
    }
    const int i = Chosen();
    if (i < 0) {
        for (Fl_Widget* w :
             std::initializer_list<Fl_Widget*>{visibleButton, autoButton, minInput, maxInput})
            w->deactivate();
        minInput->value("");
        maxInput->value("");
        return;
    }
    traceList->value(i + 1);
    const Look& look = looks[static_cast<size_t>(i)];
    for (Fl_Widget* w :
         std::initializer_list<Fl_Widget*>{visibleButton, autoButton, minInput, maxInput})
        w->activate();
    visibleButton->value(look.visible);
    autoButton->value(look.autoScale);
    minInput->value(look.autoScale ? "" : Format("%.10g", look.fixedMin).c_str());
    maxInput->value(look.autoScale ? "" : Format("%.10g", look.fixedMax).c_str());
}

int PlotWindow::Chosen() const {
    const int i = plot->View().axisTrace;
    return i >= 0 && static_cast<size_t>(i) < looks.size() ? i : -1;
}

void PlotWindow::ChooseTrace(int i) {
    plot->SetAxisTrace(i);
    ShowTraces();
}

void PlotWindow::RemoveTrace() {
    const int i = Chosen();
    if (i < 0 || busy) return;
    feed.Remove(i);
    looks.erase(looks.begin() + i);
    plot->SetAxisTrace(std::min(i, static_cast<int>(looks.size()) - 1));
    ShowTraces();
}

void PlotWindow::LookChanged(Fl_Widget* changed) {
    const int i = Chosen();
    if (i < 0) return;
    Look& look = looks[static_cast<size_t>(i)];
    if (changed == visibleButton) {
        look.visible = visibleButton->value();
    } else if (changed == autoButton) {
        look.autoScale = autoButton->value();
        std::vector<PlotTrace> traces;
        auto hold = feed.Hold();
        Traces(&traces);
        double lo, hi;
        // Fixed at the scale it was drawn at (automatic until now), so that the picture stays
        // as it is.
        PlotTrace drawn = traces[static_cast<size_t>(i)];
        drawn.autoScale = true;
        if (!look.autoScale && TraceScale(drawn, plot->Drawn(), &lo, &hi)) {
            look.fixedMin = lo;
            look.fixedMax = hi;
        }
    } else {
        char* end;
        const double lo = std::strtod(minInput->value(), &end);
        const bool loOk = *end == '\0' && std::isfinite(lo);
        const double hi = std::strtod(maxInput->value(), &end);
        if (loOk && *end == '\0' && std::isfinite(hi)) {
            look.fixedMin = lo;
            look.fixedMax = hi;
            look.autoScale = false;
            look.banded = false;
        }
    }
    ShowTraces();
    plot->redraw();
}

void PlotWindow::Band(double low, double high) {
    std::vector<PlotTrace> traces;
    auto hold = feed.Hold();
    Traces(&traces);
    const PlotView drawn = plot->Drawn();
    for (size_t i = 0; i < traces.size() && i < looks.size(); i++) {
        double lo, hi;
        if (!traces[i].visible || !TraceScale(traces[i], drawn, &lo, &hi)) continue;
        Look& look = looks[i];
        look.fixedMin = lo + (hi - lo) * low;
        look.fixedMax = lo + (hi - lo) * high;
        look.autoScale = false;
        look.banded = true;
    }
    hold.unlock();
    ShowTraces();
}

void PlotWindow::Home() {
    for (Look& look : looks) {
        if (!look.banded) continue;
        look.autoScale = true;
        look.banded = false;
    }
    ShowTraces();
}

void PlotWindow::Traces(std::vector<PlotTrace>* traces) {
    traces->clear();
    for (size_t i = 0; i < feed.Size() && i < looks.size(); i++) {
        const Look& look = looks[i];
        PlotTrace t;
        t.trace = &feed.TraceOf(i);
        t.label = look.label;
        t.unit = feed.Unit(i);
        t.color = look.color;
        t.steps = feed.Steps(i);
        t.visible = look.visible;
        t.autoScale = look.autoScale;
        t.fixedMin = look.fixedMin;
        t.fixedMax = look.fixedMax;
        traces->push_back(t);
    }
}

void PlotWindow::Pick(int64_t time) {
    const int i = Chosen();
    if (i < 0) return;
    SeriesDef def;
    int64_t at;
    {
        auto hold = feed.Hold();
        const Trace& trace = feed.TraceOf(static_cast<size_t>(i));
        const size_t point = trace.Nearest(time);
        if (point == SIZE_MAX) return;
        at = trace.Point(point).time;
        def = feed.Def(static_cast<size_t>(i));
    }
    const StoreIndex index = FrameAt(session.store(), session.decoder(), def, at);
    if (index >= 0) owner.ShowFrame(index);
}

void PlotWindow::FrameSelected(StoreIndex storeIndex) {
    CANframe frame;
    if (session.store().Get(storeIndex, frame) && !frame.unstamped) plot->ShowTime(frame.timestamp);
}

std::string PlotWindow::ExportCsv(const std::string& path) {
    std::vector<std::string> names;
    std::vector<const Trace*> traces;
    std::string error;
    auto hold = feed.Hold();
    for (size_t i = 0; i < feed.Size(); i++) {
        names.push_back(feed.Def(i).Text());
        traces.push_back(&feed.TraceOf(i));
    }
    const PlotView& view = plot->View();
    return WriteTracesCsv(path, names, traces, view.from, view.to, &error) ? "" : error;
}

std::string PlotWindow::SavePng(const std::string& path) {
    std::vector<PlotTrace> traces;
    std::string error;
    auto hold = feed.Hold();
    Traces(&traces);
    return WritePlotPng(path, traces, plot->Drawn(), &error) ? "" : error;
}

void PlotWindow::AskExportCsv() {
    AskAndWrite("Export CSV", "CSV files\t*.csv",
                [this](const std::string& p) { return ExportCsv(p); });
}

void PlotWindow::AskSavePng() {
    AskAndWrite("Save PNG", "PNG pictures\t*.png",
                [this](const std::string& p) { return SavePng(p); });
}

void PlotWindow::AskAndWrite(const char* title, const char* filter,
                             const std::function<std::string(const std::string&)>& write) {
    fileChooser->title(title);
    fileChooser->filter(filter);
    fileChooser->options(Fl_Native_File_Chooser::SAVEAS_CONFIRM |
                         Fl_Native_File_Chooser::NEW_FOLDER);
    fileChooser->type(Fl_Native_File_Chooser::BROWSE_SAVE_FILE);
    if (fileChooser->show() != 0) return;
    const std::string path = fileChooser->filename();
    const std::string error = write(path);
    if (!error.empty()) fl_alert("Cannot write %s: %s", path.c_str(), error.c_str());
}

void PlotWindow::Tick() {
    if (feed.restarted.exchange(false)) {
        // The store was cleared: the traces start again, and so does the view.
        feed.fed = false;
        plot->Reset();
        return;
    }
    if (!feed.fed.exchange(false)) return;
    plot->Update();
    plot->redraw();
}

void PlotWindow::Close() {
    closing = true;
    window->hide();
    if (busy == 0) owner.PlotClosed(this);
}
