#include "ui/net_dialog.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <cstdio>
#include <string>
#include <vector>

#include "base/utils.h"
#include "netcfg/network_config.h"
#include "session/settings.h"
#include "ui/help_text.h"
#include "ui/icons.h"
#include "ui/ui_helpers.h"

namespace {

constexpr int kWidth = 700, kHeight = 600;
// The problems of a file that does not load that its alert lists: the first ones lead to the
// rest.
constexpr size_t kProblemsShown = 5;

NetDialogFLTK* Self(void* data) {
    return static_cast<NetDialogFLTK*>(data);
}

void cb_ok(Fl_Widget*, void* data) {
    Self(data)->window->hide();
}
void cb_load(Fl_Widget*, void* data) {
    Self(data)->Load();
}
void cb_save(Fl_Widget*, void* data) {
    Self(data)->Save();
}
void cb_help(Fl_Widget*, void* data) {
    Self(data)->ShowHelp();
}
void cb_tree(Fl_Widget*, void* data) {
    Self(data)->ShowSelected();
}
void cb_updt_net(Fl_Widget*, void* data) {
    Self(data)->UpdateNet();
}
void cb_updt_node(Fl_Widget*, void* data) {
    Self(data)->UpdateNode();
}
void cb_eds_select(Fl_Widget*, void* data) {
    Self(data)->ChooseEDS();
}

// An input at x + label, as wide as w less the label; its label is drawn to its left.
Fl_Input* NewInput(int x, int y, int label, int w, const char* text, const char* tooltip,
                   Fl_Callback* callback, void* data) {
    auto* input = new Fl_Input(x + label, y, w, FieldHeight(), text);
    input->tooltip(tooltip);
    input->callback(callback, data);
    return input;
}

Fl_Output* NewMessage() {
    auto* out = new Fl_Output(230, 515, 450, FieldHeight());
    // Boxless in looks, but it paints its background: a message that no longer holds is wiped.
    out->box(FL_FLAT_BOX);
    out->color(FL_BACKGROUND_COLOR);
    out->textcolor(FL_RED);
    return out;
}

Fl_Button* NewEdsButton(void* data) {
    LoadIcons();  // also without a main window, which loads them otherwise
    auto* button = new Fl_Button(655, 70, 25, 25);
    button->image(iconOpen);
    button->tooltip("Select EDS file");
    button->callback(cb_eds_select, data);
    return button;
}

void Colour(Fl_Input* input, bool ok) {
    input->textcolor(ok ? FL_BLACK : FL_RED);
    input->redraw();
}

// The chosen file, or null when the chooser was cancelled.
const char* Choose(Fl_Native_File_Chooser& chooser, int type, const std::string& folder) {
    chooser.type(type);
    chooser.directory(folder.c_str());
    if (chooser.show() != 0 || !chooser.filename() || !*chooser.filename()) return nullptr;
    return chooser.filename();
}

std::string FolderOf(const char* path) {
    const char* folder = dirName(path);
    return folder ? folder : "";
}

}  // namespace

TreeWin::TreeWin(int x, int y, int w, int h, NetDialogFLTK& dialog)
    : Fl_Tree(x, y, w, h), dialog(dialog) {}

int TreeWin::handle(int event) {
    if (event == FL_PUSH && Fl::event_button() == FL_RIGHT_MOUSE) {
        ShowPopupMenu();
        return 1;
    }
    return Fl_Tree::handle(event);
}

std::array<Fl_Menu_Item, 8> TreeWin::MenuItems() {
    const bool selected = first_selected_item() != nullptr;
    const bool net = dialog.SelectedNet() != nullptr;
    const bool node = dialog.SelectedNode() != nullptr;
    const auto when = [](bool active) { return active ? 0 : FL_MENU_INACTIVE; };
    return {
        {{"Create new network", 0, nullptr, nullptr, when(dialog.config.CanAddNet()), 0, 0, 0, 0},
         {"Delete network", 0, nullptr, nullptr, when(net), 0, 0, 0, 0},
         {"Add node", FL_CTRL + 'n', nullptr, nullptr, when(selected), 0, 0, 0, 0},
         {"Delete node", FL_CTRL + 'd', nullptr, nullptr, when(node), 0, 0, 0, 0},
         {"Cut node", FL_CTRL + 'x', nullptr, nullptr, when(node), 0, 0, 0, 0},
         {"Copy node", FL_CTRL + 'c', nullptr, nullptr, when(node), 0, 0, 0, 0},
         {"Paste node", FL_CTRL + 'v', nullptr, nullptr, when(selected && !(node && !clipboard)), 0,
          0, 0, 0},
         {nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0}}};
}

void TreeWin::ShowPopupMenu() {
    if (first_selected_item() && !dialog.SelectedNet() && !dialog.SelectedNode()) return;
    std::array<Fl_Menu_Item, 8> items = MenuItems();
    const Fl_Menu_Item* chosen = items[0].popup(Fl::event_x(), Fl::event_y());
    if (!chosen) return;
    switch (chosen - items.data()) {
        case CREATE_NET:
            dialog.CreateNetwork();
            break;
        case DELETE_NET:
            dialog.DeleteNetwork();
            break;
        case ADD_NODE:
            dialog.AddNode();
            break;
        case DELETE_NODE:
            dialog.DeleteNode();
            break;
        case CUT_NODE:
            dialog.CutNode();
            break;
        case COPY_NODE:
            dialog.CopyNode();
            break;
        case PASTE_NODE:
            dialog.PasteNode();
            break;
    }
}

NetDlgWin::NetDlgWin(int x, int y, int w, int h, const char* label, NetDialogFLTK& dialog)
    : Fl_Double_Window(x, y, w, h, label), dialog(dialog) {}

NetDlgWin::NetDlgWin(int w, int h, const char* label, NetDialogFLTK& dialog)
    : Fl_Double_Window(w, h, label), dialog(dialog) {}

int NetDlgWin::handle(int event) {
    if (event != FL_SHORTCUT || !(Fl::event_state() & FL_CTRL))
        return Fl_Double_Window::handle(event);
    switch (Fl::event_key()) {
        case 'c':
            dialog.CopyNode();
            return 1;
        case 'd':
            dialog.DeleteNode();
            return 1;
        case 'n':
            dialog.AddNode();
            return 1;
        case 'v':
            dialog.PasteNode();
            return 1;
        case 'x':
            dialog.CutNode();
            return 1;
        case 'l':
        case 's':
            return Fl_Double_Window::handle(event);  // the LOAD and SAVE buttons' shortcuts
        default:
            return 0;
    }
}

NetDialogFLTK::NetDialogFLTK(NetworkConfig& config, QL_Settings& prefs, MainFrame* owner)
    : config(config), prefs(prefs), owner(owner) {}

void NetDialogFLTK::Show() {
    if (!window) {
        Build();
        FillTree();
    }
    window->show();
}

void NetDialogFLTK::Build() {
    const int m = GetMargin();
    int x = -1, y = -1;
    if (owner) owner->GetXY(x, y);
    x += 150;
    y += 100;
    if (!owner || x < 0 || y < 0)
        window = std::make_unique<NetDlgWin>(kWidth, kHeight, "Network Configuration", *this);
    else
        window = std::make_unique<NetDlgWin>(x, y, kWidth, kHeight, "Network Configuration", *this);

    int bx = m, by = kHeight - m - BtnHeight();
    NewBtn(bx, by, 1, "OK", cb_ok, this, nullptr);
    loadBtn = NewBtn(bx, by, 1, "LOAD", cb_load, this, "Load network information from file");
    loadBtn->shortcut(FL_CTRL + 'l');
    saveBtn = NewBtn(bx, by, 1, "SAVE", cb_save, this, "Save network information to file");
    saveBtn->shortcut(FL_CTRL + 's');
    int hw, hh;
    BtnSize("HELP", hw, hh);
    bx = kWidth - m - hw;
    NewBtn(bx, by, 0, "HELP", cb_help, this, nullptr);

    cfgChooser = std::make_unique<Fl_Native_File_Chooser>();
    cfgChooser->title("Select config file");
    cfgChooser->filter("Network configurations\t*.{netcfg,cfg}");
    edsChooser = std::make_unique<Fl_Native_File_Chooser>();
    edsChooser->title("Select EDS file");
    edsChooser->filter("EDS files\t*.eds");

    new Fl_Box(FL_ENGRAVED_BOX, 10, 10, 200, 540, nullptr);
    new Fl_Box(FL_ENGRAVED_BOX, 220, 10, 470, 540, nullptr);

    fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
    const int portWidth = static_cast<int>(fl_width("12345"));
    netPanel = new Fl_Group(220, 10, 470, 540);
    {
        const int label = static_cast<int>(fl_width("Default EDS: "));
        netMsg = NewMessage();
        netName = NewInput(230, 20, label, 450 - label, "Name: ", "Name assigned to this network",
                           cb_updt_net, this);
        netPort = NewInput(230, 45, label, portWidth,
                           "Port: ", "CAN port number this network is on", cb_updt_net, this);
        netEds = NewInput(230, 70, label, 415 - label,
                          "Default EDS: ", "Default EDS file for nodes on this network",
                          cb_updt_net, this);
        netEdsBtn = NewEdsButton(this);
    }
    netPanel->end();
    netPanel->hide();

    nodePanel = new Fl_Group(220, 10, 470, 540);
    {
        const int label = static_cast<int>(fl_width("XXXXXX"));
        nodeMsg = NewMessage();
        nodeName = NewInput(230, 20, label, 450 - label, "Name: ", "Name assigned to this node",
                            cb_updt_node, this);
        nodeId = NewInput(230, 45, label, portWidth, "ID: ", "CANopen node ID (range 1 to 127)",
                          cb_updt_node, this);
        nodeEds = NewInput(230, 70, label, 415 - label,
                           "EDS: ", "CANopen EDS file describing this node", cb_updt_node, this);
        nodeEdsBtn = NewEdsButton(this);
    }
    nodePanel->end();
    nodePanel->hide();

    tree = new TreeWin(20, 20, 180, 520, *this);
    tree->showroot(0);
    tree->callback(cb_tree, this);
    window->resizable(tree);
    window->end();
}

void NetDialogFLTK::FillTree() {
    tree->clear_children(tree->root());
    for (int i = 0; i < NetworkConfig::kMaxNets; i++) {
        NetworkInfo* net = config.Net(i);
        if (!net) continue;
        // Added under the root by name, not by path: a "/" in a name is part of the label.
        Fl_Tree_Item* item = tree->add(tree->root(), net->name.c_str());
        net->extra = item;
        for (int n = 0; n < NetworkInfo::kMaxNodes; n++)
            if (NodeInfo* node = net->Node(n)) node->extra = tree->add(item, node->name.c_str());
    }
    if (Fl_Tree_Item* first = tree->root()->has_children() ? tree->root()->child(0) : nullptr)
        tree->select_only(first, 1);
    ShowSelected();
    Recolor();
}

void NetDialogFLTK::Recolor() {
    auto paint = [](void* extra, bool valid) {
        if (extra) static_cast<Fl_Tree_Item*>(extra)->labelfgcolor(valid ? FL_BLACK : FL_RED);
    };
    for (int i = 0; i < NetworkConfig::kMaxNets; i++) {
        NetworkInfo* net = config.Net(i);
        if (!net) continue;
        paint(net->extra, net->isValid(nullptr));
        for (int n = 0; n < NetworkInfo::kMaxNodes; n++)
            if (NodeInfo* node = net->Node(n)) paint(node->extra, node->isValid(nullptr));
    }
    tree->redraw();
}

NetworkInfo* NetDialogFLTK::SelectedNet() {
    Fl_Tree_Item* item = tree ? tree->first_selected_item() : nullptr;
    return item ? config.FindNet(item) : nullptr;
}

NodeInfo* NetDialogFLTK::SelectedNode() {
    Fl_Tree_Item* item = tree ? tree->first_selected_item() : nullptr;
    return item ? config.FindNode(item) : nullptr;
}

NetworkInfo* NetDialogFLTK::TargetNet() {
    if (NetworkInfo* net = SelectedNet()) return net;
    NodeInfo* node = SelectedNode();
    return node ? node->network : nullptr;
}

void NetDialogFLTK::ShowSelected() {
    if (NetworkInfo* net = SelectedNet()) {
        nodePanel->hide();
        netPanel->show();
        ShowNet(net);
    } else if (NodeInfo* node = SelectedNode()) {
        netPanel->hide();
        nodePanel->show();
        ShowNode(node);
    } else {
        netPanel->hide();
        nodePanel->hide();
    }
}

void NetDialogFLTK::ShowNet(NetworkInfo* net) {
    NetValidDetails d;
    net->isValid(&d);
    netMsg->value(d.msg);
    netName->value(net->name.c_str());
    netPort->value(net->portStr.c_str());
    netEds->value(net->eds.c_str());
    Colour(netPort, d.portOk);
    Colour(netEds, d.edsOk);
}

void NetDialogFLTK::ShowNode(NodeInfo* node) {
    NodeValidDetails d;
    node->isValid(&d);
    nodeMsg->value(d.msg);
    nodeName->value(node->name.c_str());
    nodeEds->value(node->eds.c_str());
    nodeId->value(node->idStr.c_str());
    Colour(nodeId, d.idOk);
    Colour(nodeEds, d.edsOk);
}

void NetDialogFLTK::UpdateNet() {
    NetworkInfo* net = SelectedNet();
    if (!net) return;
    net->setPortStr(netPort->value());
    net->name = netName->value();
    net->setEDS(netEds->value());
    static_cast<Fl_Tree_Item*>(net->extra)->label(net->name.c_str());
    ShowNet(net);
    Recolor();
}

void NetDialogFLTK::UpdateNode() {
    NodeInfo* node = SelectedNode();
    if (!node) return;
    node->name = nodeName->value();
    node->setIdStr(nodeId->value());
    node->setEDS(nodeEds->value());
    static_cast<Fl_Tree_Item*>(node->extra)->label(node->name.c_str());
    ShowNode(node);
    Recolor();
}

void NetDialogFLTK::ChooseEDS() {
    NetworkInfo* net = SelectedNet();
    NodeInfo* node = net ? nullptr : SelectedNode();
    if (!net && !node) return;
    const char* file = Choose(*edsChooser, Fl_Native_File_Chooser::BROWSE_FILE, prefs.edsPath);
    if (!file) return;
    const std::string path = file;
    prefs.edsPath = FolderOf(path.c_str());
    prefs.save();
    if (net) {
        net->setEDS(path);
        ShowNet(net);
    } else {
        node->setEDS(path);
        ShowNode(node);
    }
    Recolor();
}

void NetDialogFLTK::Load() {
    cfgChooser->options(0);
    const char* file = Choose(*cfgChooser, Fl_Native_File_Chooser::BROWSE_FILE, prefs.netCfgPath);
    if (!file) return;
    const std::string path = file;
    prefs.netCfgPath = FolderOf(path.c_str());
    std::vector<std::string> problems;
    const char* error = config.Load(path.c_str(), &problems);
    for (const std::string& problem : problems) std::fprintf(stderr, "%s\n", problem.c_str());
    if (error) {
        // A file that does not load says which file it was and where it went wrong.
        std::string message = error;
        for (size_t i = 0; i < problems.size() && i < kProblemsShown; i++)
            message += "\n" + problems[i];
        fl_alert("%s", message.c_str());
    }
    prefs.netCfgDflt = path;
    prefs.save();
    FillTree();
}

void NetDialogFLTK::Save() {
    cfgChooser->options(Fl_Native_File_Chooser::SAVEAS_CONFIRM);
    const char* file =
        Choose(*cfgChooser, Fl_Native_File_Chooser::BROWSE_SAVE_FILE, prefs.netCfgPath);
    if (!file) return;
    const std::string path = file;
    if (const char* error = config.Save(path.c_str())) fl_alert("%s", error);
    prefs.netCfgDflt = path;
    prefs.save();
}

void NetDialogFLTK::ShowHelp() {
    ShowHelpPage(helpDlg, "netcfg");
}

void NetDialogFLTK::CreateNetwork() {
    NetworkInfo* net = config.CreateNet(nullptr);
    if (!net) return;
    net->name = "Network";
    Fl_Tree_Item* item = tree->add(tree->root(), net->name.c_str());
    net->extra = item;
    tree->select_only(item, 1);
    // A second network on port 0 makes the one already there invalid too.
    Recolor();
}

void NetDialogFLTK::DeleteNetwork() {
    NetworkInfo* net = SelectedNet();
    if (!net) return;
    if (net->CountNodes() > 0 && fl_choice("Remove network?  Also removes all nodes on network",
                                           "Cancel", "OK", nullptr) != 1)
        return;
    auto* item = static_cast<Fl_Tree_Item*>(net->extra);
    Fl_Tree_Item* next = item->next_sibling() ? item->next_sibling() : item->prev_sibling();
    // Out of the configuration before its item goes: no lookup finds a freed item.
    std::unique_ptr<NetworkInfo> removed = config.RemoveNet(net);
    tree->remove(item);
    if (next) tree->select_only(next, 1);
    removed.reset();
    ShowSelected();
    Recolor();
}

void NetDialogFLTK::Insert(NetworkInfo* net, std::unique_ptr<NodeInfo> node) {
    NodeInfo* added = node.get();
    if (!net->AddNode(std::move(node))) return;
    tree->deselect_all(nullptr, 0);
    Fl_Tree_Item* item = tree->add(static_cast<Fl_Tree_Item*>(net->extra), added->name.c_str());
    added->extra = item;
    tree->select_only(item, 1);
    Recolor();
}

void NetDialogFLTK::AddNode() {
    if (NetworkInfo* net = TargetNet())
        Insert(net, std::make_unique<NodeInfo>(nullptr, config.Dictionaries()));
}

void NetDialogFLTK::PasteNode() {
    NetworkInfo* net = TargetNet();
    if (net && tree->clipboard) Insert(net, std::make_unique<NodeInfo>(tree->clipboard.get()));
}

void NetDialogFLTK::CopyNode() {
    if (NodeInfo* node = SelectedNode()) tree->clipboard = std::make_unique<NodeInfo>(node);
}

std::unique_ptr<NodeInfo> NetDialogFLTK::TakeSelectedNode() {
    NodeInfo* node = SelectedNode();
    if (!node) return nullptr;
    auto* item = static_cast<Fl_Tree_Item*>(node->extra);
    Fl_Tree_Item* next = item->next_sibling();
    if (!next) next = item->prev_sibling();
    if (!next) next = item->parent();
    std::unique_ptr<NodeInfo> taken = node->network->RemoveNode(node);
    tree->remove(item);
    taken->extra = nullptr;
    taken->network = nullptr;
    tree->select_only(next, 1);
    Recolor();
    return taken;
}

void NetDialogFLTK::DeleteNode() {
    TakeSelectedNode();
}

void NetDialogFLTK::CutNode() {
    if (std::unique_ptr<NodeInfo> node = TakeSelectedNode()) tree->clipboard = std::move(node);
}

std::unique_ptr<NetworkDialog> CreateNetDialog(NetworkConfig& config, QL_Settings& prefs,
                                               MainFrame* owner, const char* startFile) {
    const std::string file = startFile && *startFile ? startFile : prefs.netCfgDflt;
    if (!file.empty()) {
        // A configuration that cannot be loaded, or not as written, is said on stderr: the
        // window starts all the same.
        std::vector<std::string> problems;
        const char* error = config.Load(file.c_str(), &problems);
        for (const std::string& problem : problems) std::fprintf(stderr, "%s\n", problem.c_str());
        if (error) std::fprintf(stderr, "%s: %s\n", file.c_str(), error);
    }
    return std::make_unique<NetDialogFLTK>(config, prefs, owner);
}
