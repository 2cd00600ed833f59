// First: gtest (in it) before FLTK, whose X11 headers define None.
#include "ui/gui_support.h"

#include "ui/filt_dialog.h"

#include <FL/x.H>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "store/filt_store.h"

namespace {

class FiltDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        session.SetParserMode(PARSE_CANOPEN);
        dialog->Show();
        Settle();
    }
    FeDialogFLTK& Fe() { return *static_cast<FeDialogFLTK*>(dialog->feDlg.get()); }
    FeDlg_CanID& CanPanel() { return *static_cast<FeDlg_CanID*>(Fe().panels[0]); }
    FeDlg_ObjID& ObjPanel() { return *static_cast<FeDlg_ObjID*>(Fe().panels[1]); }
    // A left click (clicks: the double-click count) on the middle of w, or at (x, y) in its
    // window, through FLTK's event dispatch.
    static void Click(Fl_Widget* w, int clicks = 0, int x = -1, int y = -1) {
        Fl_Window* window = w->as_window() ? w->as_window() : w->window();
        Fl::e_x = x < 0 ? w->x() + w->w() / 2 : x;
        Fl::e_y = y < 0 ? w->y() + w->h() / 2 : y;
        Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
        Fl::e_clicks = clicks;
        Fl::e_is_click = 1;
        Fl::e_state = FL_BUTTON1;
        Fl::handle(FL_PUSH, window);
        Fl::e_state = 0;
        Fl::handle(FL_RELEASE, window);
        Settle();
    }
    void Press(const char* label) { Click(Labelled(dialog->window.get(), label)); }
    void FeClick(const char* label) { Click(Labelled(Fe().window.get(), label)); }
    // A click in the middle of the table row (double click with clicks 1).
    void ClickRow(int row, int clicks = 0) {
        int x, y, w, h;
        dialog->table->find_cell(Fl_Table::CONTEXT_CELL, row, 0, x, y, w, h);
        Click(dialog->table, clicks, x + w / 2, y + h / 2);
    }
    // Adds an identifier element through the element dialog; the alert it raised, if any.
    std::string AddCanID(const char* mask, const char* value) {
        Press("Add");
        CanPanel().maskInput->value(mask);
        CanPanel().valueInput->value(value);
        return CaptureAlert([&] { FeClick("OK"); });
    }
    // The rows' texts, "|" after each.
    std::string Cells() {
        std::string cells;
        for (int r = 0; r < dialog->table->rows(); r++) cells += dialog->table->CellText(r) + "|";
        return cells;
    }

    // Whether the session's filter passes a frame of port number port.
    bool Passes(uint8_t port) {
        CANframe f;
        f.port = port;
        return session.filter().Passes(f);
    }

    Session session{nullptr, nullptr, 1000};
    std::unique_ptr<FiltDialogFLTK> dialog = std::make_unique<FiltDialogFLTK>(session, nullptr);
};

TEST_F(FiltDialogTest, AddEditAndDeleteKeepTheLettersInOrder) {
    EXPECT_STREQ(dialog->window->label(), "Message Filter");
    // Edit with nothing selected opens a new element with the values last entered.
    Press("Edit");
    ASSERT_TRUE(Fe().window->shown());
    EXPECT_FALSE(Fe().editing);
    EXPECT_STREQ(CanPanel().maskInput->value(), "0x000007FF");
    FeClick("Cancel");
    EXPECT_FALSE(Fe().window->shown());
    EXPECT_EQ(dialog->table->rows(), 0);

    EXPECT_EQ(AddCanID("0x7ff", "0x800"),
              "There are some bits set in the ID value field which are not set in the ID "
              "mask.\nNo message could ever match this filter as entered.");
    EXPECT_TRUE(Fe().window->shown());  // still open, fields unchanged
    EXPECT_STREQ(CanPanel().valueInput->value(), "0x800");
    FeClick("Cancel");
    for (const char* value : {"0x181", "0x281", "0x381"})
        EXPECT_EQ(AddCanID("0x7ff", value), "(no alert)");
    EXPECT_EQ(Cells(),
              "CANID & 0x07ff == 0x0181|CANID & 0x07ff == 0x0281|CANID & 0x07ff == 0x0381|");

    // A double click on B edits it; OK moves it to the end and C becomes B.
    ClickRow(1, 1);
    ASSERT_TRUE(Fe().editing && Fe().window->shown());
    EXPECT_STREQ(CanPanel().valueInput->value(), "0x00000281");
    CanPanel().valueInput->value("0x0701");
    Fe().descInput->value("  heartbeat 1 ");
    FeClick("OK");
    EXPECT_EQ(Cells(), "CANID & 0x07ff == 0x0181|CANID & 0x07ff == 0x0381|heartbeat 1|");
    EXPECT_TRUE(dialog->table->is_selected(1, 0));

    // Deleting the first of 27 turns A1 into Z.
    dialog->table->set_selection(-1, -1, -1, -1);
    for (uint32_t port = 3; dialog->table->rows() < 27; port++)
        dialog->AddFE(std::make_unique<FePort>(port));
    ASSERT_EQ(FeTable::HeaderText(26), "A1: ");
    EXPECT_EQ(static_cast<FePort&>(*dialog->FindFE("a1")).port, 26u);
    ClickRow(0);
    Press("Delete");
    EXPECT_EQ(dialog->table->rows(), 26);
    EXPECT_EQ(dialog->FindFE("A1"), nullptr);
    EXPECT_EQ(static_cast<FePort&>(*dialog->FindFE("Z")).port, 26u);
    EXPECT_EQ(dialog->table->CellText(25), "Port == 26");

    // An expression that names the deleted letter fails at the next Apply and keeps the filter,
    // which passes everything at first.
    // Each row: the expression, the button, the alert, whether the dialog stays open, and
    // whether the filter passes frames of ports 0 and 26 (tens and ones).
    for (auto [expr, button, alert, open, passes] :
         {std::tuple{"Z & A1", "Apply", "Undefined filter element A1 in string", true, 11},
          {"A &", "OK", "Error parsing filter (empty string).", true, 11},
          {"!Z", "Apply", "(no alert)", true, 10},
          {"Z", "OK", "(no alert)", false, 1}}) {
        dialog->exprInput->value(expr);
        EXPECT_EQ(CaptureAlert([&] { Press(button); }), alert);
        EXPECT_EQ(dialog->window->shown() != 0, open) << expr;
        EXPECT_EQ(10 * Passes(0) + Passes(26), passes) << expr;
    }
}

// Deleting or editing an element renames the later ones in the expression too, so that it keeps
// its meaning; the mentions of a deleted element are refused at the next Apply.
TEST_F(FiltDialogTest, ExpressionFollowsTheLetters) {
    for (const char* value : {"0x181", "0x281"}) EXPECT_EQ(AddCanID("0x7ff", value), "(no alert)");
    dialog->AddFE(std::make_unique<FePort>(0));  // C
    dialog->AddFE(std::make_unique<FePort>(3));  // D
    dialog->exprInput->value("A & !B");
    Press("Apply");
    ClickRow(1);
    Press("Delete");
    EXPECT_STREQ(dialog->exprInput->value(), "A & !Z9");
    EXPECT_EQ(CaptureAlert([&] { Press("Apply"); }),
              "The expression names a deleted filter element (shown as Z9)");
    CANframe f;
    f.id = 0x181;
    EXPECT_TRUE(session.filter().Passes(f));  // the filter applied before stays

    // Names beyond the list stay as typed, as does the rest of the text.
    dialog->exprInput->value("(c | b) & !E1");
    ClickRow(0);
    Press("Delete");
    EXPECT_STREQ(dialog->exprInput->value(), "(B | A) & !E1");
    // An edited element moves to the end: its name follows it.
    dialog->exprInput->value("!A|B");
    ClickRow(0, 1);
    ASSERT_TRUE(Fe().editing);
    FeClick("OK");
    EXPECT_EQ(Cells(), "Port == 3|Port == 0|");
    EXPECT_STREQ(dialog->exprInput->value(), "!B|A");
    EXPECT_EQ(CaptureAlert([&] { Press("Apply"); }), "(no alert)");
    EXPECT_TRUE(!Passes(0) && Passes(3) && Passes(5));
}

TEST_F(FiltDialogTest, ElementDialogFieldsAndAlerts) {
    Press("Add");
    FeDialogFLTK& fe = Fe();
    EXPECT_EQ(fe.typeChoice->size() - 1, 3);  // three kinds and the menu's terminator
    EXPECT_STREQ(fe.typeChoice->text(1), "CANopen Object ID");
    fe.typeChoice->picked(fe.typeChoice->menu() + 1);
    EXPECT_TRUE(!CanPanel().visible() && ObjPanel().visible());

    // With "Any" ticked the sub-index input is locked and ignored; unticking unlocks it.
    FeDlg_ObjID& obj = ObjPanel();
    EXPECT_FALSE(obj.subInput->active());
    obj.subInput->value("junk");
    obj.idInput->value("0x1018");
    FeClick("OK");
    EXPECT_EQ(static_cast<FeObjID&>(*dialog->FindFE("A")).subIndex, -1);
    EXPECT_EQ(dialog->table->CellText(0), "Object ID == 0x1018");
    Press("Add");  // the last values again
    EXPECT_STREQ(obj.subInput->value(), "junk");
    Click(obj.anyButton);
    EXPECT_TRUE(!obj.anyButton->value() && obj.subInput->active());

    // The alerts, in the order the fields are checked; the dialog stays open.
    Fl_Input* const first[] = {CanPanel().maskInput, obj.idInput,
                               static_cast<FeDlg_Port*>(fe.panels[2])->portInput};
    Fl_Input* const second[] = {CanPanel().valueInput, obj.subInput, nullptr};
    for (auto [type, field1, field2, alert] :
         {std::tuple{1, "0x10g0", "1", "Unable to parse object ID: 0x10g0"},
          {1, "0x1000", "one", "Unable to parse sub-id: one"},
          {0, "7ff", "1", "Unable to parse ID mask: 7ff"},
          {0, "0x7ff", "0x", "Unable to parse ID value: 0x"},
          {2, "p1", "", "Unable to parse port number: p1"}}) {
        fe.typeChoice->picked(fe.typeChoice->menu() + type);
        first[type]->value(field1);
        if (second[type]) second[type]->value(field2);
        EXPECT_EQ(CaptureAlert([&] { FeClick("OK"); }), alert);
        EXPECT_TRUE(fe.window->shown());
    }
    obj.subInput->value("0x01");
    obj.cmpChoice->value(3);
    fe.typeChoice->picked(fe.typeChoice->menu() + 1);
    FeClick("OK");
    EXPECT_EQ(dialog->table->CellText(1), "Object ID >= 0x1000.1");
    // Editing A fills the panel in the dialog's formats: "Any" ticked, no sub-index.
    ClickRow(0, 1);
    EXPECT_TRUE(obj.anyButton->value() && !obj.subInput->active() && !*obj.subInput->value());
    FeClick("Cancel");

    Press("Help");
    ASSERT_TRUE(dialog->helpDlg && dialog->helpDlg->visible());
    EXPECT_NE(std::strstr(dialog->helpDlg->value(), "Quillon message filtering"), nullptr);
    dialog->helpDlg->hide();
}

// Typed through the X server as a user types; the new row is drawn with its letter and text.
TEST_F(FiltDialogTest, TypedElementIsDrawn) {
    Press("Add");
    auto type = [&](Fl_Input* field, const std::string& text) {
        field->value("");
        field->take_focus();
        Xdo({"windowfocus", "--sync", std::to_string(fl_xid(Fe().window.get())), "type", text},
            [&] { return field->value() == text; });
    };
    type(CanPanel().maskInput, "0x7ff");
    type(CanPanel().valueInput, "0x1f1");
    type(Fe().descInput, "engine PDO");
    FeClick("OK");
    ASSERT_EQ(dialog->table->rows(), 1);
    EXPECT_EQ(FeTable::HeaderText(0) + dialog->table->CellText(0), "A: engine PDO");
    EXPECT_EQ(static_cast<FeCanID&>(*dialog->FindFE("A")).value, 0x1f1u);

    // Dark ink in the row's header and in its cell, read back from the window.
    auto ink = [&](Fl_Table::TableContext context) {
        int x, y, w, h;
        dialog->table->find_cell(context, 0, 0, x, y, w, h);
        return InkIn(*dialog->window, x, y, w, h).dark;
    };
    EXPECT_GT(ink(Fl_Table::CONTEXT_ROW_HEADER), 10);
    EXPECT_GT(ink(Fl_Table::CONTEXT_CELL), 30);
}

}  // namespace
