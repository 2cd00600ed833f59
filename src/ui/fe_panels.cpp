#include "ui/fe_panels.h"

#include <FL/Fl.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "base/utils.h"
#include "ui/ui_helpers.h"

namespace {

void cb_any(Fl_Widget*, void* data) {
    static_cast<FeDlg_ObjID*>(data)->SyncAny();
}

Fl_Input* NewField(int x, int y, int w, const char* label, const char* text, const char* tip) {
    auto* field = new Fl_Input(x, y, w, FieldHeight(), label);
    field->value(text);
    field->tooltip(tip);
    return field;
}

}  // namespace

int FeDlg::FieldX(const char* const* labels) const {
    fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
    int widest = 0;
    for (; *labels; labels++) widest = std::max(widest, static_cast<int>(fl_width(*labels)));
    return x() + widest + GetMargin();
}

int FeDlg::FieldWidth(int fieldX, const char* sample) const {
    fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
    const int wanted = static_cast<int>(fl_width(sample)) + 2 * Fl::box_dx(FL_DOWN_BOX);
    return std::min(wanted, x() + w() - GetMargin() - fieldX);
}

bool FeDlg::Parse(const Fl_Input* field, const char* what, int32_t& value) {
    bool ok = false;
    value = StrToInt(field->value(), &ok);
    if (!ok) fl_alert("%s%s", what, field->value());
    return ok;
}

FeDlg_CanID::FeDlg_CanID(int x, int y, int w, int h) : FeDlg(x, y, w, h) {
    static const char* const kLabels[] = {"ID Mask: ", "Value: ", nullptr};
    const int m = GetMargin();
    const int fx = FieldX(kLabels);
    const int fw = FieldWidth(fx, "0x00000000 ");
    maskInput = NewField(fx, y + m, fw, kLabels[0], "0x000007FF",
                         "Selects which bits of the CAN message ID should be matched");
    valueInput = NewField(fx, y + 2 * m + FieldHeight(), fw, kLabels[1], "0x00000000",
                          "Specifies the value of the masked CAN message ID bits");
    end();
}

void FeDlg_CanID::Init(FilterElement* fe) {
    const auto* e = static_cast<FeCanID*>(fe);
    maskInput->value(Format("0x%08x", e->mask).c_str());
    valueInput->value(Format("0x%08x", e->value).c_str());
}

std::unique_ptr<FilterElement> FeDlg_CanID::CreateFE() {
    int32_t mask, value;
    if (!Parse(maskInput, "Unable to parse ID mask: ", mask)) return nullptr;
    if (!Parse(valueInput, "Unable to parse ID value: ", value)) return nullptr;
    if ((value & mask) != value) {
        fl_alert(
            "There are some bits set in the ID value field which are not set in the ID "
            "mask.\nNo message could ever match this filter as entered.");
        return nullptr;
    }
    return std::make_unique<FeCanID>(value, mask);
}

FeDlg_ObjID::FeDlg_ObjID(int x, int y, int w, int h) : FeDlg(x, y, w, h) {
    static const char* const kLabels[] = {"Object ID: ", "Sub-object ID: ", "Match if: ", nullptr};
    const int m = GetMargin();
    const int row = m + FieldHeight();
    const int fx = FieldX(kLabels);
    const int fw = FieldWidth(fx, "0x0000 ");
    const int right = x + w - m;
    idInput = NewField(fx, y + m, fw, kLabels[0], "0x0000", "CANopen Object ID");
    subInput = NewField(fx, y + m + row, fw, kLabels[1], "0x00", "Sub-object ID");
    subInput->deactivate();
    const int anyX = fx + fw + m;
    anyButton = new Fl_Check_Button(anyX, y + m + row, right - anyX, FieldHeight(), "Any");
    anyButton->tooltip("Select to match any sub-index of specified object");
    anyButton->value(1);
    anyButton->callback(cb_any, this);
    cmpChoice = new Fl_Choice(fx, y + m + 2 * row, right - fx, FieldHeight(), kLabels[2]);
    cmpChoice->tooltip("Select type of match");
    for (const char* item : {"frame ID < filter", "frame ID <= filter", "frame ID == filter",
                             "frame ID >= filter", "frame ID > filter"})
        cmpChoice->add(item);
    cmpChoice->value(FeObjID::kEqual + 2);
    end();
}

void FeDlg_ObjID::SyncAny() {
    if (anyButton->value())
        subInput->deactivate();
    else
        subInput->activate();
}

void FeDlg_ObjID::Init(FilterElement* fe) {
    const auto* e = static_cast<FeObjID*>(fe);
    idInput->value(Format("0x%04x", e->index).c_str());
    anyButton->value(e->subIndex < 0);
    subInput->value(e->subIndex < 0 ? "" : Format("0x%02x", e->subIndex).c_str());
    SyncAny();
    cmpChoice->value(e->compare + 2);
}

std::unique_ptr<FilterElement> FeDlg_ObjID::CreateFE() {
    int32_t index, subIndex = -1;
    if (!Parse(idInput, "Unable to parse object ID: ", index)) return nullptr;
    if (!anyButton->value() && !Parse(subInput, "Unable to parse sub-id: ", subIndex))
        return nullptr;
    return std::make_unique<FeObjID>(index, subIndex, cmpChoice->value() - 2);
}

FeDlg_Port::FeDlg_Port(int x, int y, int w, int h) : FeDlg(x, y, w, h) {
    static const char* const kLabels[] = {"Port: ", nullptr};
    const int fx = FieldX(kLabels);
    portInput =
        NewField(fx, y + GetMargin(), FieldWidth(fx, "88 "), kLabels[0], "0", "Select a CAN port");
    end();
}

void FeDlg_Port::Init(FilterElement* fe) {
    portInput->value(Format("%d", static_cast<FePort*>(fe)->port).c_str());
}

std::unique_ptr<FilterElement> FeDlg_Port::CreateFE() {
    int32_t port;
    if (!Parse(portInput, "Unable to parse port number: ", port)) return nullptr;
    return std::make_unique<FePort>(port);
}
