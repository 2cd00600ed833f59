#include "ui/help_text.h"

#include <cstring>

namespace {

const char kFilterHelp[] = R"(<html><head><title>Quillon filtering</title></head><body>
<h1>Quillon message filtering</h1>
<p>A filter decides which messages the message list shows. It limits the display only: every
message is still received, kept and written to log files, and changing the filter shows the
stored messages again under the new rule.</p>
<p>The filter dialog holds a filter expression, in the text box at the top, and a list of
filter elements below it.</p>
<h2>Filter elements</h2>
<p>Each element is one test on a message. Create one with the 'Add' button and choose its
kind:</p>
<ul>
<li><b>CAN message ID</b>: some or all bits of the message identifier, selected by a mask,
must have the given value.</li>
<li><b>CANopen object ID</b>: the object (index and sub-index) that an SDO transfer reads or
writes is compared with the given one.</li>
<li><b>CAN port number</b>: the message came from the given port.</li>
</ul>
<p>Every new element gets a letter (A, B, C, ...), by which the expression names it. Deleting
an element moves the later ones up a letter, and an edited element moves to the end; the
expression follows them. Where it named a deleted element it now says Z9, which no element is
called: Apply refuses it until the expression is written again.</p>
<h2>Filter expression</h2>
<p>An empty expression shows every message. A single letter shows the messages that match that
element. Letters combine with parentheses, &amp; (and), | (or) and ! (not): for example
(A &amp; B) | (C &amp; !D) shows the messages that match both A and B, and those that match C
but not D. &amp; and | have no precedence over each other: each takes everything to its right,
so A &amp; B | C means A &amp; (B | C); use parentheses to group otherwise.</p>
</body></html>
)";

const char kNetcfgHelp[] = R"(<html><head><title>Quillon Network Configuration</title></head><body>
<h1>Quillon Network Configuration</h1>
<p>The network configuration describes the nodes of one or more CANopen networks, so that
their messages can be decoded with more meaning, for example with the names of the objects
that SDO transfers read and write.</p>
<p>The dialog shows a tree of networks and their nodes on the left and the settings of the
selected entry on the right. A right click in the tree opens a menu to add a network
('Create new Network') or nodes. Nodes can also be added, deleted, cut, copied and pasted with
Ctrl+N, Ctrl+D, Ctrl+X, Ctrl+C and Ctrl+V. Every change takes effect at once; entries in red
have a problem, which is named below their settings.</p>
<p>LOAD (Ctrl+L) reads a configuration file (*.netcfg or *.cfg) and SAVE (Ctrl+S) writes one.
The file last loaded or saved is loaded again when Quillon starts. SAVE names the EDS files
from the folder of the file it writes, so that the file finds them wherever it is saved.</p>
<h2>Network options</h2>
<ul>
<li><b>Name</b>: the name shown in the tree.</li>
<li><b>Port</b>: the CAN port that the network is connected to.</li>
<li><b>Default EDS</b>: the EDS file used for the nodes of this network that have none of their
own.</li>
</ul>
<h2>Node options</h2>
<ul>
<li><b>Name</b>: the name shown in the tree.</li>
<li><b>ID</b>: the node ID, unique on its network, from 1 to 127.</li>
<li><b>EDS</b>: the node's own EDS file; without one, the network's default is used.</li>
</ul>
<h2>EDS files</h2>
<p>Electronic Data Sheet files describe CANopen devices in a standard text format. They come
from the maker of the device and list the objects that the device supports.</p>
</body></html>
)";

const char kAnalyzerHelp[] = R"(<html><head><title>CAN bus analyzer</title></head><body>
<h1>CAN bus analyzer</h1>
<p>The analyzer gives low-level diagnostics of the bus wiring. It helps to find shorted bus
lines or missing termination. On Start the card transmits one message and measures the delay
from transmitting to receiving each bit, for both the rising and the falling edge. Long
delays mean a very long bus or poor termination.</p>
<h2>Config dialog</h2>
<p>The Config button selects the port, the bit rate and the identifier of the test message.
Any identifier that disturbs no device on the bus will do; the default 0 (a network
management message that is invalid in CANopen) is usually a reasonable choice. The bit rate is
the port's own and is set at once: the dialog shows the port's rate after and before the change,
and closing the analyzer offers to restore the rates it changed.</p>
<h2>Results</h2>
<p>The rising and falling edge delays are shown as a graph and as numbers, averaged over all
transmitted bits, together with the delays of the ACK bit that the other nodes send.</p>
<table border="1">
<tr><th>Trace</th><th>Colour</th><th>Meaning</th></tr>
<tr><td>Transmit</td><td>yellow</td><td>The transmitted signal: the reference for the
others.</td></tr>
<tr><td>Receive</td><td>blue</td><td>The card's own delay from transmit to receive. On a short,
well terminated bus it is normally about 100 ns per edge, most of it from the transceiver and
the isolation circuitry.</td></tr>
<tr><td>ACK</td><td>green</td><td>The ACK bit from the other devices. Its delay includes both
devices' local delays and the propagation along the bus. A missing ACK usually means that no
other device is active.</td></tr>
</table>
</body></html>
)";

const char kKeysHelp[] = R"(<html><head><title>Quillon keys and mouse</title></head><body>
<h1>Keys and mouse</h1>
<h2>Message list</h2>
<table border="1">
<tr><th>Key or mouse</th><th>What it does</th></tr>
<tr><td>Click on a row</td><td>Selects the frame: the detail view below decodes it, and the
other frames of its exchange (an SDO transfer, for example) turn blue. The list stops
following new frames.</td></tr>
<tr><td>Up, Down</td><td>Select the row above or below. With no selected row in view they
scroll the list by one row instead.</td></tr>
<tr><td>Page Up, Page Down</td><td>The same by a page.</td></tr>
<tr><td>Home</td><td>Shows the first rows; the list stops following new frames.</td></tr>
<tr><td>End</td><td>Shows the newest rows and follows new frames again as they
arrive.</td></tr>
<tr><td>c</td><td>Centres the selected row, when it is in view.</td></tr>
<tr><td>Mouse wheel</td><td>Scrolls the list.</td></tr>
<tr><td>Ctrl+F</td><td>Opens the find bar: a frame's identifier, its data bytes (a pattern
with wildcards) or its decoded text.</td></tr>
<tr><td>F3, Shift+F3</td><td>Find the next or the previous matching row.</td></tr>
<tr><td>Ctrl+G</td><td>Goes to a message number (the Msg # column) or a time.</td></tr>
<tr><td>Escape</td><td>Closes the find bar. It never closes the main window.</td></tr>
</table>
<p>The Delta button of the toolbar switches the Time column between the time since the start
and the time since the row above. View, Raw data bytes shows the Data column, each frame's
data bytes beside its decoded text.</p>
<h2>Detail view</h2>
<p>A click on a line, or Up and Down, highlights it; the identifier or the data bytes that the
line describes turn blue in the first line.</p>
<h2>Main window</h2>
<table border="1">
<tr><th>Key</th><th>What it does</th></tr>
<tr><td>Ctrl+O</td><td>Opens a log file and replays it (File, Open).</td></tr>
<tr><td>Ctrl+S</td><td>Saves the frames to a log file (File, Save).</td></tr>
<tr><td>Ctrl+Q</td><td>Ends the program (File, Exit).</td></tr>
<tr><td>Alt and an underlined letter</td><td>Opens that menu, for example Alt+V the View
menu; then the underlined letter of an item chooses it.</td></tr>
</table>
<h2>Dialogs and other windows</h2>
<ul>
<li><b>Filter</b>: a double-click on an element edits it, as Edit does.</li>
<li><b>Network configuration</b>: Ctrl+L is LOAD and Ctrl+S is SAVE of the configuration
file. A right click in the tree opens its menu; Ctrl+N, Ctrl+D, Ctrl+X, Ctrl+C and Ctrl+V add,
delete, cut, copy and paste nodes.</li>
<li><b>Network status</b>: a click on a column's heading sorts by it, a second click
reverses the order. Click, Ctrl+click, Shift+click and dragging select rows; Up, Down, Page Up,
Page Down, Home and End move, with Shift they extend the selection; Ctrl+A selects all rows and
Ctrl+C copies the selected ones. Selecting a transfer selects its frame in the message
list.</li>
<li><b>Plot</b>: a double-click on a series plots it. In the plot, the wheel zooms, dragging
pans, Shift+drag or a right-button drag zooms to the rectangle marked, Home shows everything,
and a click selects the chosen trace's frame in the message list.</li>
</ul>
</body></html>
)";

}  // namespace

const char* GetHelpText(const char* tag) {
    if (std::strcmp(tag, "filter") == 0) return kFilterHelp;
    if (std::strcmp(tag, "netcfg") == 0) return kNetcfgHelp;
    if (std::strcmp(tag, "analyzer") == 0) return kAnalyzerHelp;
    if (std::strcmp(tag, "keys") == 0) return kKeysHelp;
    return "Unknown help tag";
}

void ShowHelpPage(std::unique_ptr<Fl_Help_Dialog>& dialog, const char* tag) {
    if (!dialog) {
        dialog = std::make_unique<Fl_Help_Dialog>();
        dialog->value(GetHelpText(tag));
    }
    dialog->show();
}
