#include "ui/filt_dialog.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <chrono>

#include "base/quillon_error.h"
#include "filter/filter_logic.h"
#include "session/session.h"
#include "ui/help_text.h"
#include "ui/ui_helpers.h"

namespace {

// How often the event loop runs while a rebuild runs: below the list's 0.1 s timer.
constexpr auto kLiveInterval = std::chrono::milliseconds(40);

FiltDialogFLTK* Self(void* data) {
    return static_cast<FiltDialogFLTK*>(data);
}

void cb_table(Fl_Widget* w, void* data) {
    auto* table = static_cast<FeTable*>(w);
    if (table->callback_context() != Fl_Table::CONTEXT_CELL) return;
    const int row = table->callback_row(), col = table->callback_col();
    table->set_selection(row, col, row, col);
    if (Fl::event_clicks()) Self(data)->Edit();
}
void cb_add(Fl_Widget*, void* data) {
    Self(data)->feDlg->Show(nullptr);
}
void cb_edit(Fl_Widget*, void* data) {
    Self(data)->Edit();
}
void cb_del(Fl_Widget*, void* data) {
    Self(data)->Delete();
}
void cb_ok(Fl_Widget*, void* data) {
    if (Self(data)->Apply()) Self(data)->window->hide();
}
void cb_apply(Fl_Widget*, void* data) {
    Self(data)->Apply();
}
void cb_help(Fl_Widget*, void* data) {
    Self(data)->Help();
}

}  // namespace

FiltDialogFLTK::FiltDialogFLTK(Session& session, MainFrame* owner)
    : feDlg(CreateFeDialog(*this)), session(session), owner(owner) {}

FiltDialogFLTK::~FiltDialogFLTK() {
    // The element dialog's window first: it asks this dialog nothing once it is gone.
    feDlg.reset();
    helpDlg.reset();
    window.reset();
}

void FiltDialogFLTK::Build() {
    int x = -1, y = -1;
    if (owner) owner->GetXY(x, y);
    x += 100;
    y += 100;
    if (x < 0 || y < 0)
        window = std::make_unique<Fl_Window>(450, 600, "Message Filter");
    else
        window = std::make_unique<Fl_Window>(x, y, 450, 600, "Message Filter");
    fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
    exprInput = NewInputField(10, 10, 430, "Filter: ");
    exprInput->tooltip("Filter expression");
    struct ButtonSpec {
        const char* label;
        Fl_Callback* callback;
        const char* tooltip;
    };
    static const ButtonSpec kButtons[] = {
        {"Add", cb_add, "Add a new filter element."},
        {"Edit", cb_edit, "Edit the selected filter element."},
        {"Delete", cb_del, "Delete the selected filter element."},
        {"OK", cb_ok, "Apply this filter and close the dialog."},
        {"Apply", cb_apply, "Apply this filter."},
        {"Help", cb_help, "How to use message filters."},
    };
    for (int i = 0; i < 6; i++) {
        auto* button =
            new Fl_Button(10 + 90 * (i % 3), 520 + 40 * (i / 3), 80, 30, kButtons[i].label);
        button->callback(kButtons[i].callback, this);
        button->tooltip(kButtons[i].tooltip);
    }
    table = new FeTable(10, 40, 430, 470, elements);
    table->callback(cb_table, this);
    table->when(FL_WHEN_RELEASE);
    table->tooltip("Filter elements");
    table->Refresh();
    window->resizable(table);
    window->end();
}

void FiltDialogFLTK::Show() {
    if (!window) Build();
    window->show();
}

void FiltDialogFLTK::GetXY(int& x, int& y) {
    if (!window) Build();
    x = window->x();
    y = window->y();
}

void FiltDialogFLTK::AddFE(std::unique_ptr<FilterElement> element) {
    elements.Add(std::move(element));
    Changed();
}

void FiltDialogFLTK::ReplaceFE(std::unique_ptr<FilterElement> element) {
    const int slot = Selected(), count = elements.Count();
    elements.Replace(slot, std::move(element));
    // The edited element moved to the end, the later ones up a letter.
    if (slot >= 0 && slot < count) Rename(slot, count, FeList::Letter(count - 1));
    Changed();
}

std::unique_ptr<FilterElement> FiltDialogFLTK::FindFE(std::string name) {
    return elements.Find(name);
}

void FiltDialogFLTK::Edit() {
    feDlg->Show(elements.At(Selected()));
}

void FiltDialogFLTK::Delete() {
    const int slot = Selected(), count = elements.Count();
    elements.Delete(slot);
    if (slot >= 0 && slot < count) Rename(slot, count, FeList::kDeletedName);
    Changed();
}

void FiltDialogFLTK::Rename(int slot, int before, const std::string& newName) {
    if (!exprInput) return;
    // Names at or beyond the count before the change named no element and keep naming none.
    const std::string expr = RenameElements(exprInput->value(), [&](const std::string& name) {
        const int named = FeList::Slot(name);
        if (named == slot) return newName;
        if (named > slot && named < before) return FeList::Letter(named - 1);
        return name;
    });
    if (expr != exprInput->value()) exprInput->value(expr.c_str());
}

bool FiltDialogFLTK::Apply() {
    if (applying) return false;  // pressed again while the view is rebuilt
    std::unique_ptr<FilterLogic> filter;
    try {
        filter = CreateFilterLogic(exprInput->value(), elements, &session);
    } catch (const QuillonError& e) {
        fl_alert("%s", e.message.c_str());
        return false;
    }
    // A large store takes a while to rebuild: the windows stay live, and the list shows the
    // view growing at its timer's pace.
    struct ApplyingFlag {  // cleared also when the rebuild throws
        bool& flag;
        explicit ApplyingFlag(bool& f) : flag(f) { flag = true; }
        ~ApplyingFlag() { flag = false; }
    } applyingFlag(applying);
    if (owner) owner->StopFind();  // a find counts the rows the rebuild renumbers
    auto last = std::chrono::steady_clock::now();
    session.SetFilter(
        std::move(filter),
        [&last] {
            const auto now = std::chrono::steady_clock::now();
            if (now - last < kLiveInterval) return;
            last = now;
            Fl::check();
        },
        exprInput->value());
    return true;
}

void FiltDialogFLTK::Help() {
    ShowHelpPage(helpDlg, "filter");
}

std::unique_ptr<FiltDialog> CreateFiltDialog(Session& session, MainFrame* owner) {
    return std::make_unique<FiltDialogFLTK>(session, owner);
}
