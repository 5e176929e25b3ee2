#pragma once

#include <string>

namespace cardpush::sim {

// The controller's end of a serial line: the master side of a pseudo-terminal whose slave side
// the tool opens as its port.
//
// It keeps a slave descriptor of its own open, so the master never hangs up when the tool closes
// the port, and watches the slave for opens and closes (inotify), so it knows whether anybody is
// on the line. When the last other user closes the slave, whatever the simulator had sent and
// nobody read is flushed, as bytes sent to a closed port are lost on a real line.
// Single-threaded. Throws SimError when the pseudo-terminal can't be set up.
class PtyLine {
public:
    PtyLine();
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    const std::string& SlavePath() const { return slave_path_; }
    int MasterFd() const { return master_; }
    // -1 when the system can't watch the slave (see Watching).
    int WatchFd() const { return watch_; }

    // Whether opens and closes are seen. If not, the line counts as always in use.
    bool Watching() const { return watch_ >= 0; }

    // Reads the pending open/close notices. Returns true when the last other user of the slave
    // has just closed it.
    bool ServeWatch();

    // Whether another program has the slave open.
    bool PeerOpen() const { return peers_ > 0; }

private:
    int master_ = -1;
    int held_slave_ = -1;
    int watch_ = -1;
    int peers_ = 0;
    std::string slave_path_;
};

// A symbolic link to the device for as long as the object lives. A stale link at the path is
// replaced; anything else there is refused (SimError). On destruction the link is removed if it
// still points to this device.
class DeviceLink {
public:
    DeviceLink(std::string path, std::string target);
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

private:
    std::string path_;
    std::string target_;
};

}  // namespace cardpush::sim
