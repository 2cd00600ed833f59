#include "ui/fe_dialog.h"

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/fl_draw.H>

#include <string>

#include "base/utils.h"
#include "ui/ui_helpers.h"

namespace {

constexpr int kWidth = 350;
constexpr int kHeight = 300;

FeDialogFLTK* Self(void* data) {
    return static_cast<FeDialogFLTK*>(data);
}

void cb_choice(Fl_Widget* w, void* data) {
    Self(data)->ShowPanel(static_cast<Fl_Choice*>(w)->value());
}
void cb_ok(Fl_Widget*, void* data) {
    Self(data)->Ok();
}
void cb_cancel(Fl_Widget*, void* data) {
    Self(data)->Hide();
}

}  // namespace

FeDialogFLTK::FeDialogFLTK(FiltDialog& filtDialog) : owner(filtDialog) {}

void FeDialogFLTK::Build() {
    const int m = GetMargin();
    const int h = FieldHeight();
    int x, y;
    owner.GetXY(x, y);
    window = std::make_unique<Fl_Window>(x + 100, y + 100, kWidth, kHeight, "Filter Element");
    fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
    const int fieldX = static_cast<int>(fl_width("Description: ")) + m;
    descInput = new Fl_Input(fieldX, m, kWidth - m - fieldX, h, "Description:");
    typeChoice = new Fl_Choice(fieldX, 2 * m + h, kWidth - m - fieldX, h, "Type");
    const int panelY = typeChoice->y() + m + h;
    auto* panelBox =
        new Fl_Box(FL_ENGRAVED_BOX, m, panelY, kWidth - 2 * m, 270 - panelY - 2 * m, "");
    int bx = m, by = 270 - m;
    NewBtn(bx, by, 0, "OK", cb_ok, this, nullptr);
    bx = 2 * m + BtnWidth();
    NewBtn(bx, by, 0, "Cancel", cb_cancel, this, nullptr);
    const int px = panelBox->x(), py = panelBox->y(), pw = panelBox->w(), ph = panelBox->h();
    panels[0] = new FeDlg_CanID(px, py, pw, ph);
    panels[1] = new FeDlg_ObjID(px, py, pw, ph);
    panels[2] = new FeDlg_Port(px, py, pw, ph);
    window->end();
    for (FeDlg* panel : panels) typeChoice->add(panel->GetDesc(), 0, cb_choice, this);
    typeChoice->value(0);
    ShowPanel(0);
    window->set_modal();
}

void FeDialogFLTK::ShowPanel(int type) {
    for (int i = 0; i < 3; i++) {
        if (i == type)
            panels[i]->show();
        else
            panels[i]->hide();
    }
}

void FeDialogFLTK::Show(FilterElement* fe) {
    if (!window) Build();
    editing = fe != nullptr;
    if (fe) {
        const int type = fe->feType();
        typeChoice->value(type);
        ShowPanel(type);
        panels[type]->Init(fe);
        descInput->value(fe->descSet ? fe->desc.c_str() : "");
    }
    window->show();
}

void FeDialogFLTK::Hide() {
    if (window) window->hide();
}

void FeDialogFLTK::Ok() {
    std::unique_ptr<FilterElement> fe = panels[typeChoice->value()]->CreateFE();
    if (!fe) return;
    std::string desc = descInput->value();
    TrimString(desc);
    if (!desc.empty()) fe->SetDesc(desc.c_str());
    if (editing)
        owner.ReplaceFE(std::move(fe));
    else
        owner.AddFE(std::move(fe));
    Hide();
}

std::unique_ptr<FeDialog> CreateFeDialog(FiltDialog& owner) {
    return std::make_unique<FeDialogFLTK>(owner);
}
