#pragma once

#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Help_Dialog.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Tree.H>

#include <array>
#include <memory>

#include "ui/windows.h"

class NetDialogFLTK;
class QL_Settings;
class NetworkConfig;
class NetworkInfo;
class NodeInfo;

// The tree of networks and their nodes. A right click opens the menu of the tree's commands for
// the item already selected (the click does not select).
class TreeWin : public Fl_Tree {
  public:
    // The popup menu's items, in order.
    enum MenuItem {
        CREATE_NET,
        DELETE_NET,
        ADD_NODE,
        DELETE_NODE,
        CUT_NODE,
        COPY_NODE,
        PASTE_NODE
    };

    TreeWin(int x, int y, int w, int h, NetDialogFLTK& dialog);
    int handle(int event) override;
    // The menu for the selected item; nothing when that item is neither a network nor a node.
    void ShowPopupMenu();
    // The menu's items with their shortcut texts, inactive where they cannot act now.
    std::array<Fl_Menu_Item, 8> MenuItems();

    std::unique_ptr<NodeInfo> clipboard;  // the node cut or copied last; null when none

  private:
    NetDialogFLTK& dialog;
};

// The dialog's window: Control keys run the tree's node commands.
class NetDlgWin : public Fl_Double_Window {
  public:
    NetDlgWin(int x, int y, int w, int h, const char* label, NetDialogFLTK& dialog);
    NetDlgWin(int w, int h, const char* label, NetDialogFLTK& dialog);
    // Ctrl+C, D, N, V, X: the node commands (consumed also when they cannot act); Ctrl+L and S:
    // the LOAD and SAVE buttons; any other Control shortcut is refused.
    int handle(int event) override;

  private:
    NetDialogFLTK& dialog;
};

// Edits the live network configuration: the tree on the left, the selected network's or node's
// fields on the right, each change applied at once (the decoders name objects from it). Entries
// that fail their validity check are red, with the reason under their fields. GUI thread only.
class NetDialogFLTK : public NetworkDialog {
  public:
    // prefs: the folders its choosers open in and the configuration loaded at start, which it
    // updates. owner: the window it opens beside; may be null.
    NetDialogFLTK(NetworkConfig& config, QL_Settings& prefs, MainFrame* owner);
    NetDialogFLTK(const NetDialogFLTK&) = delete;
    NetDialogFLTK& operator=(const NetDialogFLTK&) = delete;

    // Builds the window and fills the tree the first time; afterwards only shows it.
    void Show() override;

    // The tree again from the configuration, its first network selected.
    void FillTree();
    // Each item black when its entry is valid, red when not.
    void Recolor();
    // The panel of the selected entry, filled from it; none without a selection.
    void ShowSelected();
    // The selected network's or node's fields into the entry.
    void UpdateNet();
    void UpdateNode();
    // Asks for an EDS file for the selected entry.
    void ChooseEDS();
    // Asks for a configuration file to load, or to save to; either becomes the one loaded at
    // start.
    void Load();
    void Save();
    void ShowHelp();

    // The commands of the tree's menu and keys.
    void CreateNetwork();
    void DeleteNetwork();
    void AddNode();
    void DeleteNode();
    void CutNode();
    void CopyNode();
    void PasteNode();

    // The selected item's entry, or null.
    NetworkInfo* SelectedNet();
    NodeInfo* SelectedNode();
    NetworkConfig& config;

    std::unique_ptr<Fl_Help_Dialog> helpDlg;  // null until HELP is first pressed
    std::unique_ptr<NetDlgWin> window;        // null until the first Show()
    TreeWin* tree = nullptr;
    Fl_Group* netPanel = nullptr;
    Fl_Input* netName = nullptr;
    Fl_Input* netPort = nullptr;
    Fl_Input* netEds = nullptr;
    Fl_Button* netEdsBtn = nullptr;
    Fl_Output* netMsg = nullptr;
    Fl_Group* nodePanel = nullptr;
    Fl_Input* nodeId = nullptr;
    Fl_Input* nodeName = nullptr;
    Fl_Input* nodeEds = nullptr;
    Fl_Button* nodeEdsBtn = nullptr;
    std::unique_ptr<Fl_Native_File_Chooser> edsChooser;
    std::unique_ptr<Fl_Native_File_Chooser> cfgChooser;
    Fl_Output* nodeMsg = nullptr;
    Fl_Button* loadBtn = nullptr;
    Fl_Button* saveBtn = nullptr;

  private:
    void Build();
    void ShowNet(NetworkInfo* net);
    void ShowNode(NodeInfo* node);
    // The network the node commands act on: the selected one, or the selected node's.
    NetworkInfo* TargetNet();
    // Adds node to net and its item under the network's, and selects it; a full network drops it.
    void Insert(NetworkInfo* net, std::unique_ptr<NodeInfo> node);
    // Takes the selected node out of the tree and the configuration, selecting its neighbour.
    std::unique_ptr<NodeInfo> TakeSelectedNode();

  private:
    QL_Settings& prefs;
    MainFrame* const owner;
};

// The program's network dialog, editing config, without a window until it is first shown. Loads
// the configuration file startFile into config, or when that is null or empty the one named by
// the preference NetCfg_Dflt; a file that cannot be loaded leaves the configuration empty.
std::unique_ptr<NetworkDialog> CreateNetDialog(NetworkConfig& config, QL_Settings& prefs,
                                               MainFrame* owner, const char* startFile = nullptr);
