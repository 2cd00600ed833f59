#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "base/progress.h"
#include "hw/can_intf_generic.h"
#include "store/can_frame.h"

class Cards;
class FirmwareFile;

// What a card tells of itself.
struct CardInfo {
    int cardType = 0;
    std::string fwVersion;   // "%d.%02d.%02d"
    std::string drvVersion;  // "%d.%02d.%02d"
    int serialNum = 0;
    int param1 = 0;
    int param8 = 0;
    int param7 = 0;
    int param12 = 0;  // cards of types above 255; bit 0: the last firmware update failed
    float analog2 = 0;
    float analog3 = 0;
    float analog4 = 0;
    int clockMHz = 0;
    uint32_t fwVersionRaw = 0;
};

// What a port tells of itself.
struct PortInfo {
    int baudCode = -1;  // -1 when the card reports none
    std::string rxErrors;
    std::string txErrors;
    std::string status;
    int isOpen = 0;  // the card reports the port as not closed
    double loading = 0;
};

// One CAN port of one of the cards or SocketCAN interfaces. Its device node is open from
// construction to destruction; open() and close() open and close the port on the card. Used by one
// thread at a time. Every failure is a QuillonError.
class CanIntf {
  public:
    // Scans the cards for ports when rescan is asked for or their last scan is more than 5
    // seconds old, then opens the device node of port. cards: outlives the port.
    CanIntf(Cards& cards, int port, bool rescan);
    // Closes the port on the card when it is open, then its node.
    ~CanIntf();
    CanIntf(const CanIntf&) = delete;
    CanIntf& operator=(const CanIntf&) = delete;

    void SetPortNum(int port);
    int PortNum() const { return portNum; }

    // A new, closed driver interface on the cards' local device nodes.
    static std::unique_ptr<CanIntfGeneric> CreateHardwareIntf(Cards& cards);
    // A new, closed driver interface for a port of the cards' last scan: a SocketCAN
    // interface's or the device nodes'.
    static std::unique_ptr<CanIntfGeneric> CreateIntfFor(Cards& cards, int port);
    // Bits per second of a bit-rate code 0 to 7, 0 for another code (BitsPerSecond).
    static int GetBPS(int code);
    int GetBPS();
    void setBaud(int code);
    // The port's bit-rate code, -1 when the card reports none.
    int getBaud();
    // Sends a command buffer of kCmdWords words to the card, again while it answers busy (a
    // bounded number of times): QuillonError ERR_BUSY only for a card that stays busy.
    void SendCMD(unsigned int* cmd);
    // A command without parameters.
    void SendCMD(int opcode);
    int GetParam(int number);
    static std::string FmtVerStr(unsigned int version);
    CardInfo getCardInfo();
    void SetLoading(double percent);
    PortInfo getPortInfo();
    void open();
    void close();
    // Receives one frame, waiting at most timeout milliseconds (QuillonError 8 when none came).
    void read(CANframe& frame, int timeout);
    // The one call another thread may make: ends a read that waits, and every later one, as timed
    // out, where the interface can be woken (CanIntfGeneric::Interrupt).
    void Interrupt();
    void write(CANframe& frame, int timeout);
    void Reset();

    // Downloads the file's images to the card of the port, skipping the boot loader when the
    // card already has its version, and the FPGA image when the file has none; progress (not
    // null) runs over all bytes sent. An image that fails every attempt ends the update with
    // its error.
    void DnldFirmware(FirmwareFile& file, Progress* progress);
    // Downloads one image: erase, words, verification, up to 10 attempts. Throws QuillonError 1
    // when len is not a multiple of 4, before anything is sent, and when every attempt failed.
    void Dnld(unsigned int imageId, unsigned char* image, unsigned int len, Progress* progress,
              unsigned int progressBase);
    // The pause after a failed download attempt; the tests shorten it.
    void SetRetryPause(std::chrono::milliseconds pause) { retryPause = pause; }

  private:
    // Closes the port on the card when open (without asking the card first).
    void CloseOnCard();

    Cards& cards;
    std::unique_ptr<CanIntfGeneric> hw;
    bool isOpen = false;
    int portNum = -1;
    std::chrono::milliseconds retryPause{2000};
};
