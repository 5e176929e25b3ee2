// What the controller link needs from the tool above it (the session, which
// shows it through a face).
//
// Every method is called on the GUI thread, except SavedPort/SetSavedPort,
// which the link thread calls itself and which must therefore be
// thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cardpush {

// What the identification handshake has learnt about the controller.
struct LinkValues {
    std::string SerialNumber;
    double MinValue = 0;
    double MaxValue = 0;
    double ModeValue = 0;
    std::int32_t Accuracy = 0;
    // No reply feeds it; the information window shows it all the same.
    std::int32_t StateValue = 0;
    std::string FirmwareVersion;

    friend bool operator==(const LinkValues&, const LinkValues&) = default;
};

// What one attempt of the port search on one port came to.
enum class PortOutcome : std::uint8_t {
    Answered,       // a reply field came after "S"
    NoAccess,       // this user may not open the device (group: who may)
    Held,           // another program holds the port
    Silent,         // opened, "S" sent, no answer within the checks
    NotConfigured,  // opened, but the line settings were refused
    NotSerial,      // the name is something else than a serial port: never opened
    Missing,        // there is no such port (an adapter pulled out)
};

struct PortReport {
    // As the port list or the settings give it.
    std::string port;
    PortOutcome outcome = PortOutcome::Silent;
    // NoAccess: the group that owns the device, when known.
    std::string group;
    // Answered: the controller's serial number, once it has told it.
    std::string serialNumber;

    friend bool operator==(const PortReport&, const PortReport&) = default;
};

class LinkHost {
public:
    virtual ~LinkHost() = default;

    // The main window's caption, which doubles as its status line.
    virtual void SetCaption(const std::string& text) = 0;
    // One line of the protocol log.
    virtual void AddLogLine(const std::string& line) = 0;
    // The information window's port field.
    virtual void ShowPort(const std::string& port) = 0;
    // The information window's seven value fields, all rewritten each time.
    virtual void ShowLinkInfo(const LinkValues& values) = 0;
    // The firmware gate, once the firmware version has been stored and
    // shown and the mode asked for: allows the card commands or refuses
    // them. Throws EConvertError for a version that is not an integer, which
    // ends the handshake.
    virtual void CheckFirmware(const LinkValues& values) = 0;
    // The card listing: emptied before each listing request, then one item
    // per name as the listing arrives.
    virtual void ClearCardList() = 0;
    virtual void AddCardName(const std::string& name) = 0;

    // A listing has come in whole (the link is idle again): names as the
    // controller sent them, in order. request is the number of the latest
    // listing request it answers (see LinkSession::RefreshCardList): every
    // request up to it has been answered by the time the listing is complete.
    virtual void ListingCompleted(const std::vector<std::string>& names, std::uint64_t request)
    {
        (void)names;
        (void)request;
    }
    // The listing asked for by request has brought no byte for the listing
    // stall time: it may never come.
    virtual void ListingStalled(std::uint64_t request) { (void)request; }
    // The controller is lost (reason: why, Windows-1251): the port is
    // closed, the card commands are off until a controller answers again
    // and the firmware gate has passed; the search begins again by itself.
    virtual void LinkLost(const std::string& reason) { (void)reason; }

    // A pass of the port search has ended: what each port it tried came to,
    // in the order tried (none: there was no port to try).
    virtual void PortsProbed(const std::vector<PortReport>& reports) { (void)reports; }

    // The port the controller answered on last time ("c=" of the settings).
    // Called on the link thread.
    virtual std::string SavedPort() = 0;
    virtual void SetSavedPort(const std::string& port) = 0;
    // The serial number of the controller last worked with: when several
    // answer in one pass, the link takes that one. Called on the link thread.
    virtual std::string PreferredSerialNumber() { return {}; }

    // Which ports a search tries: firstPort alone first (none when empty),
    // then every port of the port list in passes; with firstPortOnly, that
    // port alone in every pass. Called on the link thread, once per search.
    struct SearchPlan {
        std::string firstPort;
        bool firstPortOnly = false;
    };
    virtual SearchPlan PlanSearch() { return {SavedPort(), false}; }
};

}  // namespace cardpush
