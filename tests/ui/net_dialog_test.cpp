// First: gtest (in it) before FLTK, whose X11 headers define None.
#include "ui/gui_support.h"

#include "ui/net_dialog.h"

#include <FL/filename.H>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "decode/parser.h"
#include "io/log_parser.h"
#include "netcfg/network_config.h"

namespace {

// Sends the keys one by one to the open popup menu.
std::vector<int> pendingKeys;
void KeyInMenu(void*) {
    if (!Fl::grab()) return Fl::repeat_timeout(0.02, KeyInMenu);
    Fl::e_state = pendingKeys.front() & FL_CTRL;
    Fl::e_keysym = pendingKeys.front() & ~FL_CTRL;
    pendingKeys.erase(pendingKeys.begin());
    Fl::handle(FL_KEYBOARD, Fl::grab());
    if (!pendingKeys.empty()) Fl::repeat_timeout(0.02, KeyInMenu);
}

class NetDialogTest : public ::testing::Test {
  protected:
    void Open(const std::string& cfg) {
        if (!cfg.empty()) WriteFile(dir.file("start.cfg"), cfg);
        dialog.reset(static_cast<NetDialogFLTK*>(
            CreateNetDialog(config, prefs, nullptr,
                            cfg.empty() ? nullptr : dir.file("start.cfg").c_str())
                .release()));
        dialog->Show();
    }
    void Select(const char* path) { dialog->tree->select_only(dialog->tree->find_item(path), 1); }
    static void Edit(Fl_Input* input, const std::string& text) {
        input->value(text.c_str());
        input->do_callback();
    }
    // Ctrl and key, as the keyboard sends them to the window; whether it was taken.
    int Key(char key) {
        Fl::e_state = FL_CTRL;
        Fl::e_keysym = key;
        const int taken = Fl::handle(FL_SHORTCUT, dialog->window.get());
        Fl::e_state = 0;
        return taken;
    }
    std::string Tree() { return TreeText(dialog->tree); }
    // Pushes the mouse button on the item at path (empty: below the items).
    void Click(const char* path, int button) {
        Redraw(*dialog->window);  // drawn: the items have their places
        Fl_Tree_Item* item = *path ? dialog->tree->find_item(path) : nullptr;
        Fl::e_x = item ? item->label_x() + 5 : dialog->tree->x() + 20;
        Fl::e_y = item ? item->label_y() + 5 : dialog->tree->y() + 200;
        Fl::e_keysym = FL_Button + button;
        Fl::handle(FL_PUSH, dialog->window.get());
    }
    // Opens the menu with a right click on the item at path (empty: below the items) and sends
    // it keys.
    void RightClick(const char* path, std::vector<int> keys) {
        pendingKeys = keys;
        Fl::add_timeout(0.02, KeyInMenu);
        Click(path, FL_RIGHT_MOUSE);
        Fl::remove_timeout(KeyInMenu);
        Fl::e_state = 0;
    }
    // The tree, "|", the message of the panel shown.
    std::string State() {
        return Tree() + "|" +
               (dialog->netPanel->visible() ? dialog->netMsg->value() : dialog->nodeMsg->value());
    }

    TempDir dir;
    QL_Settings prefs{dir.path()};  // the dialog keeps its choices of files there
    NetworkConfig config;
    Session session{nullptr, nullptr, 100000};
    std::unique_ptr<NetDialogFLTK> dialog;  // before the configuration it edits goes
};

const std::string kTwoNodes =
    "[NetCFG]\n[Network]\nname:Plant\nport:1\n[Node]\nid:1\n[END]\n[Node]\nname:Pump\nid:2\n[END]\n"
    "[END]\n[Network]\nname:Belt\nport:2\n[END]\n[END]\n";

TEST_F(NetDialogTest, EditsRenameRecolourAndExplain) {
    // The file named for the run, not the preferred one, which stays preferred.
    WriteFile(dir.file("pref.cfg"), "[NetCFG]\n[Network]\nname:Preferred\n[END]\n[END]\n");
    prefs.netCfgDflt = dir.file("pref.cfg");
    Open(kTwoNodes);
    EXPECT_EQ(prefs.netCfgDflt, dir.file("pref.cfg"));
    EXPECT_STREQ(dialog->window->label(), "Network Configuration");
    EXPECT_EQ(dialog->window->w() * 10000 + dialog->window->h(), 700 * 10000 + 600);
    EXPECT_EQ(Tree(), "Plant* Plant/Node 1 Plant/Pump Belt");
    EXPECT_TRUE(dialog->netPanel->visible() && !dialog->nodePanel->visible());
    EXPECT_STREQ(dialog->netPort->value(), "1");

    Select("Plant/Node 1");
    EXPECT_TRUE(dialog->nodePanel->visible() && !dialog->netPanel->visible());
    Edit(dialog->nodeId, "5");
    EXPECT_STREQ(dialog->nodeName->value(), "Node 5");
    Edit(dialog->nodeId, "2");
    EXPECT_EQ(State(), "Plant Plant/Node 2!* Plant/Pump! Belt|ID value already in use on network");
    EXPECT_EQ(dialog->nodeId->textcolor(), FL_RED);
    Edit(dialog->nodeName, "Valve");
    Edit(dialog->nodeId, "3");
    EXPECT_EQ(State(), "Plant Plant/Valve* Plant/Pump Belt|");

    Edit(dialog->nodeEds, dir.file("none.eds"));
    EXPECT_EQ(State(), "Plant Plant/Valve!* Plant/Pump Belt|Unable to load EDS file");
    EXPECT_EQ(dialog->nodeEds->textcolor(), FL_RED);
    Edit(dialog->nodeEds, "");
    EXPECT_EQ(Tree(), "Plant Plant/Valve* Plant/Pump Belt");

    Select("Belt");
    Edit(dialog->netPort, "1");
    EXPECT_EQ(State(), "Plant! Plant/Valve Plant/Pump Belt!*|CAN port in use by another network");
    EXPECT_EQ(dialog->netPort->textcolor(), FL_RED);
    Edit(dialog->netPort, "4");
    Edit(dialog->netName, "A/B");  // a name, not a path
    EXPECT_EQ(Tree(), "Plant Plant/Valve Plant/Pump A\\/B*");
    EXPECT_EQ(config.FindNet(4)->name, "A/B");
    // A field left by a click on another item goes to the entry it showed.
    Fl::focus(dialog->netName);
    dialog->netName->value("Conveyor");
    dialog->netName->set_changed();
    Click("Plant", FL_LEFT_MOUSE);
    Fl::handle(FL_RELEASE, dialog->window.get());
    EXPECT_EQ(Tree(), "Plant* Plant/Valve Plant/Pump Conveyor");
    Labelled(dialog->window.get(), "HELP")->do_callback();
    EXPECT_TRUE(dialog->helpDlg->visible());
    dialog->helpDlg->hide();
    dialog->window->hide();
    // Without a file named for the run, the preferred one.
    CreateNetDialog(config, prefs, nullptr, "");
    EXPECT_EQ(config.Net(0)->name, "Preferred");
}

// A configuration for the start (named for the run, else preferred) that does not load, or not as
// written, is said on stderr with file and line; the dialog opens all the same.
TEST_F(NetDialogTest, StartConfigurationProblemsAreSaid) {
    const std::string start = dir.file("start.cfg");
    const std::pair<std::string, std::string> cases[] = {
        {"[NetCFG]\n[Network]\nport:70\n[Node]\nid:0\nrate:9\n[END]\n[END]\n[END]\n",
         start + ":3: port 70 is not from 0 to 63\n" + start +
             ":5: node id 0 is not from 1 to 127\n" + start + ":6: [Node] has no key rate\n"},
        {"[NetCFG]\n[Network]\nport:1\n[END]\n",
         start + ":1: [NetCFG] is not closed by [END]\n" + start + ": File format error\n"}};
    for (const auto& [text, said] : cases) {
        testing::internal::CaptureStderr();
        Open(text);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), said);
        dialog->window->hide();
    }
    // The preferred one, when the run names none.
    prefs.netCfgDflt = dir.file("missing.cfg");
    testing::internal::CaptureStderr();
    CreateNetDialog(config, prefs, nullptr, "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              dir.file("missing.cfg") + ": Unable to open file\n");
}

// A message that no longer holds leaves the panel, also from the screen: after the other node of
// an id is deleted, after a good EDS file replaced one that did not load.
TEST_F(NetDialogTest, MessagesGoWhenTheyNoLongerHold) {
    Open(kTwoNodes);
    dialog->window->wait_for_expose();
    // Red in the message line as the window shows it after its updates: not redrawn whole first,
    // which would wipe what an update left standing.
    const auto redMessage = [&] {
        return !RowsWith(*dialog->window, 230, 515, 450, 25, FL_RED, false).empty();
    };
    Select("Plant/Node 1");
    Edit(dialog->nodeId, "2");
    ASSERT_EQ(State(), "Plant Plant/Node 2!* Plant/Pump! Belt|ID value already in use on network");
    EXPECT_TRUE(redMessage());
    Key('d');
    EXPECT_EQ(State(), "Plant Plant/Pump* Belt|");
    EXPECT_FALSE(redMessage());

    Edit(dialog->nodeEds, dir.file("none.eds"));
    ASSERT_EQ(State(), "Plant Plant/Pump!* Belt|Unable to load EDS file");
    EXPECT_TRUE(redMessage());
    Answering({{EXAMPLES_DIR "/demo_drive.eds", "OK"}}, [&] { dialog->nodeEdsBtn->do_callback(); });
    EXPECT_EQ(State(), "Plant Plant/Pump* Belt|");
    EXPECT_FALSE(redMessage());
}

TEST_F(NetDialogTest, NodeCommandsByKeyAndMenu) {
    Open(kTwoNodes);
    EXPECT_EQ(Key('q'), 0);  // not a command: refused
    // Each row: the item selected first (if any), the keys, then the name of node 2 on port 2 in
    // the configuration and the tree. A cut of the last node selects the previous one.
    for (auto [item, keys, node, tree] :
         {std::tuple{"Plant/Pump", "x", "", "Plant Plant/Node 1* Belt"},
          {"Belt", "v", "Pump", "Plant Plant/Node 1 Belt Belt/Pump*"},
          {"", "cvv", "Pump", "Plant Plant/Node 1 Belt Belt/Pump! Belt/Pump! Belt/Pump!*"},
          {"", "ddd", "", "Plant Plant/Node 1 Belt*"},
          {"", "n", "", "Plant Plant/Node 1 Belt Belt/Node 1*"}}) {
        if (*item) Select(item);
        for (const char* key = keys; *key; key++) EXPECT_EQ(Key(*key), 1) << keys;
        EXPECT_EQ(config.FindNode(2, 2) ? config.FindNode(2, 2)->name : "", node) << keys;
        EXPECT_EQ(Tree(), tree) << keys;
    }

    // A right click on another item opens the menu for the selected one.
    Select("Plant/Node 1");
    RightClick("Belt", {FL_CTRL + 'd'});
    EXPECT_EQ(Tree(), "Plant* Belt Belt/Node 1");
    RightClick("Belt", {FL_Down, FL_Enter});  // create new network
    EXPECT_EQ(Tree(), "Plant Belt Belt/Node 1 Network*");
}

TEST_F(NetDialogTest, MenuStatesAndNetworkDeletion) {
    Open("");
    const auto active = [&] {
        std::string s;
        for (const Fl_Menu_Item& item : dialog->tree->MenuItems())
            if (item.label()) s += item.active() ? "1" : "0";
        return s;
    };
    EXPECT_EQ(Tree(), "");
    EXPECT_FALSE(dialog->netPanel->visible() || dialog->nodePanel->visible());
    EXPECT_EQ(active(), "1000000");
    for (int i = 0; i < 10; i++) dialog->CreateNetwork();
    EXPECT_EQ(active(), "0110001");
    dialog->AddNode();
    EXPECT_EQ(active(), "0011110");
    Key('c');
    EXPECT_EQ(active(), "0011111");

    // A network with nodes goes only when confirmed; the next one is selected, else the previous.
    Select("Network");  // the first
    dialog->AddNode();
    Select("Network");
    EXPECT_EQ(Answering({{"", "Cancel"}}, [&] { dialog->DeleteNetwork(); }),
              "Remove network?  Also removes all nodes on network");
    EXPECT_EQ(config.FindNet(0), dialog->SelectedNet());
    Answering({{"", "OK"}}, [&] { dialog->DeleteNetwork(); });
    EXPECT_EQ(config.FindNet(0), dialog->SelectedNet());
    EXPECT_EQ(dialog->tree->root()->children(), 9);
    dialog->tree->select_only(dialog->tree->root()->child(8), 1);
    Answering({{"", "OK"}}, [&] { dialog->DeleteNetwork(); });
    EXPECT_TRUE(dialog->tree->root()->child(7)->is_selected());
    Select("Network");
    EXPECT_EQ(CaptureAlert([&] { dialog->DeleteNetwork(); }), "(no alert)");  // no nodes
    EXPECT_TRUE(dialog->tree->root()->child(0)->is_selected());
    EXPECT_EQ(dialog->tree->root()->children(), 7);
}

namespace {

// The configuration file path as text, each EDS path written relative to its folder resolved
// (whether a path is written relative depends on where the build and the temporary folder are).
std::string EdsPathsResolved(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::istringstream lines(ReadFile(path));
    std::string text;
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find("eds:");
        if (at != std::string::npos && at + 4 < line.size() && line[at + 4] != '/')
            line =
                line.substr(0, at + 4) + (folder / line.substr(at + 4)).lexically_normal().string();
        text += line + "\n";
    }
    return text;
}

}  // namespace

TEST_F(NetDialogTest, BuiltFromNothingSavedAndLoadedBack) {
    const std::string saved = dir.file("built.cfg");
    Open("");
    RightClick("", {FL_Down, FL_Enter});
    Edit(dialog->netName, "Demo machine");
    EXPECT_EQ(
        Answering({{EXAMPLES_DIR "/demo_io.eds", "OK"}}, [&] { dialog->netEdsBtn->do_callback(); }),
        "Select EDS file");
    EXPECT_EQ(prefs.edsPath, EXAMPLES_DIR "/");
    Key('n');
    Edit(dialog->nodeName, "Axis drive");
    Edit(dialog->nodeId, "5");
    Answering({{EXAMPLES_DIR "/demo_drive.eds", "OK"}}, [&] { dialog->nodeEdsBtn->do_callback(); });
    Key('n');
    Edit(dialog->nodeId, "10");
    EXPECT_EQ(Tree(), "Demo machine Demo machine/Axis drive Demo machine/Node 10*");
    EXPECT_EQ(Answering({{saved, "OK"}}, [&] { Key('s'); }), "Select config file");
    EXPECT_EQ(prefs.netCfgDflt, saved);
    EXPECT_NE(ReadFile(prefs.prefsFile).find("NetCfg_Dflt:" + saved), std::string::npos);
    EXPECT_EQ(std::regex_replace(EdsPathsResolved(saved), std::regex(EXAMPLES_DIR), "EXAMPLES"),
              ReadFile(UI_DATA_DIR "/built.cfg"));

    // Loaded back into the same tree; a file of another kind empties it and is still remembered.
    Key('n');
    Answering({{saved, "OK"}}, [&] { Key('l'); });
    EXPECT_EQ(Tree(), "Demo machine* Demo machine/Axis drive Demo machine/Node 10");
    EXPECT_EQ(prefs.netCfgPath, dir.path() + "/");
    WriteFile(dir.file("other.cfg"), "[Quillon]\n[END]\n");
    EXPECT_EQ(Answering({{dir.file("other.cfg"), "OK"}, {"", "Close"}},
                        [&] { dialog->loadBtn->do_callback(); }),
              "Select config file|File format error\n" + dir.file("other.cfg") +
                  ":1: [Quillon] in place of [NetCFG]: not a network configuration");
    EXPECT_EQ(Tree(), "");
    EXPECT_EQ(prefs.netCfgDflt, dir.file("other.cfg"));
    // A cancelled chooser changes nothing.
    Answering({{"", "Cancel"}}, [&] { dialog->loadBtn->do_callback(); });
    EXPECT_EQ(prefs.netCfgDflt, dir.file("other.cfg"));
}

// Saved into another folder, the configuration still finds its EDS files when loaded from there;
// the choosers offer network configurations by both their endings.
TEST_F(NetDialogTest, SavedElsewhereKeepsItsEdsFiles) {
    std::filesystem::create_directories(dir.file("plant"));
    std::filesystem::create_directories(dir.file("copies"));
    WriteFile(dir.file("plant/io.eds"), ReadFile(EXAMPLES_DIR "/demo_io.eds"));
    WriteFile(dir.file("plant/demo.netcfg"),
              "[NetCFG]\n[Network]\nname:Line\neds:io.eds\n[Node]\nid:5\neds:io.eds\n[END]\n[END]\n"
              "[END]\n");
    Open("");
    Answering({{dir.file("plant/demo.netcfg"), "OK"}}, [&] { Key('l'); });
    ASSERT_EQ(State(), "Line* Line/Node 5|");
    Answering({{dir.file("copies/line.netcfg"), "OK"}}, [&] { Key('s'); });
    Select("Line/Node 5");
    Key('d');  // changed after the save: the load gives the saved one back
    Answering({{dir.file("copies/line.netcfg"), "OK"}}, [&] { Key('l'); });
    EXPECT_EQ(State(), "Line* Line/Node 5|");
    EXPECT_EQ(config.Net(0)->eds, "../plant/io.eds");

    const std::string filter = dialog->cfgChooser->filter();
    const std::string pattern = filter.substr(filter.find('\t') + 1);
    for (auto [file, offered] :
         {std::pair{"demo.netcfg", true}, {"emulation.cfg", true}, {"demo_io.eds", false}})
        EXPECT_EQ(fl_filename_match(file, pattern.c_str()) != 0, offered) << file;
}

// Replays an expedited read of object 0x6040 from node 5 on port 0, request and response, for
// ever.
struct SdoReplay : FrameProducer {
    bool getNextFrame(CANframe& frame) override {
        std::string line = sent++ % 2 ? "CAN0: 0x585 - 0x4B 0x40 0x60 0 15 0 0 0"
                                      : "CAN0: 0x605 - 0x40 0x40 0x60 0 0 0 0 0";
        return QuillonLogParser().Parse(line.data(), frame);
    }
    unsigned sent = 0;
};

TEST_F(NetDialogTest, EditsDuringAReplayNameTheFramesDescribedAfterThem) {
    session.SetParserMode(PARSE_CANOPEN);
    WriteFile(dir.file("one.cfg"), "[NetCFG]\n[Network]\nname:Network\n[END]\n[END]\n");
    ASSERT_EQ(session.network().Load(dir.file("one.cfg").c_str()), nullptr);
    dialog = std::make_unique<NetDialogFLTK>(session.network(), prefs, nullptr);
    dialog->Show();
    Edit(dialog->netPort, "0");
    Key('n');
    Edit(dialog->nodeId, "5");
    session.readers().AddReader(std::make_unique<SdoReplay>());
    // Whether a response stored after every edit so far decodes as the drive's object.
    const auto named = [&] {
        std::string row;
        const StoreIndex after = session.store().GetLast();
        EXPECT_TRUE(UntilUi([&] {
            CANframe f;  // of the last two frames, one is a response
            for (StoreIndex i = std::max(after + 1, session.store().GetLast() - 1);
                 row.empty() && i <= session.store().GetLast(); i++)
                if (session.store().Get(i, f) && f.id == 0x585)
                    row = session.decoder()->GetShortDesc(f);
            return !row.empty();
        }));
        return row.find("Controlword") != std::string::npos;
    };
    EXPECT_FALSE(named());
    Edit(dialog->nodeEds, EXAMPLES_DIR "/demo_drive.eds");
    EXPECT_TRUE(named());
    Edit(dialog->nodeId, "6");
    EXPECT_FALSE(named());
    Key('x');
    Select("Network");
    Key('v');
    Edit(dialog->nodeId, "5");
    EXPECT_TRUE(named());
    Select("Network");
    Answering({{"", "OK"}}, [&] { dialog->DeleteNetwork(); });
    EXPECT_FALSE(named());
    WriteFile(dir.file("drive.cfg"), "[NetCFG]\n[Network]\n[Node]\nid:5\neds:" EXAMPLES_DIR
                                     "/demo_drive.eds\n[END]\n[END]\n[END]\n");
    Answering({{dir.file("drive.cfg"), "OK"}}, [&] { dialog->loadBtn->do_callback(); });
    EXPECT_TRUE(named());
    session.readers().StopAll();
}

}  // namespace
