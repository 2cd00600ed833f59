#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Group.H>

#include <array>
#include <chrono>
#include <string>
#include <vector>

class MsgList;
class Session;

// What the window's capture does, as the status bar tells it.
enum class CaptureState { kIdle, kReceiving, kReplaying };

// The line at the bottom of the main window, field by field: whether the message list follows the
// newest frames (a button that resumes it), the frames stored and shown with the store's fill,
// the capture and how long it has run, the load of the ports read, the display filter's
// expression, the last save (running, done or failed) and its file, and what was lost (frames
// late or not written, log lines dropped). A field with nothing to tell is left out.
//
// A GUI timer refreshes it four times a second from counts that cost the same however many frames
// the store holds; reader threads never reach it. GUI thread only.
class StatusBar : public Fl_Group {
  public:
    static constexpr int kHeight = 24;
    enum Field { kFollow, kFrames, kCapture, kPorts, kFilter, kSave, kLost, kFields };

    // session: what it counts; list: the list whose following it shows and resumes. Both outlive
    // the bar.
    StatusBar(int x, int y, int w, Session& session, MsgList& list);
    ~StatusBar() override;
    StatusBar(const StatusBar&) = delete;
    StatusBar& operator=(const StatusBar&) = delete;

    // The capture started (the ports it reads are those monitored now) or ended.
    void SetCapture(CaptureState state);
    // A log file is being written (Session::SavePath), or its writing ended.
    void SetSaving(bool writing);
    // Takes the fields' texts anew and lays them out when one changed.
    void Refresh();
    // The texts shown, " | " between them.
    std::string Text() const;
    void resize(int x, int y, int w, int h) override;

    Fl_Button* follow = nullptr;  // the first field

  private:
    std::string FieldText(Field field);
    // Each field as wide as its text, the last one to the bar's right end.
    void Layout();

    Session& session;
    MsgList& list;
    std::array<Fl_Widget*, kFields> widgets{};
    std::array<std::string, kFields> texts;
    CaptureState capture = CaptureState::kIdle;
    bool captured = false;  // a capture ran and ended
    std::chrono::steady_clock::time_point started;
    std::chrono::steady_clock::duration ran{};  // of the last capture ended
    std::vector<int> ports;                     // read by the capture receiving
    bool saving = false;
};
