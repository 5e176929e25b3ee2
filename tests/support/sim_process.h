// The controller simulator (cardpush-sim) as a child process, for end-to-end
// tests and benchmarks.
//
// Each instance has a fresh folder of its own holding the card folder, the
// wire log (every byte the simulator received) and the simulator's messages;
// the folder is removed when the instance goes. The simulator ends with the
// thread that started it (--exit-with-parent), so a test that dies does not
// leave it behind.
//
// Not thread-safe: one thread starts, inspects and stops it.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace cardpush::testing {

class SimProcess {
public:
    // Starts the simulator with these options (besides --card-dir, --wire-log
    // and --exit-with-parent, which it always gets) and waits for the device
    // path on its first line of output. Card files put in by PutCardFile
    // before a listing is asked for are listed. Throws std::runtime_error
    // when the simulator does not start or names no device.
    explicit SimProcess(std::vector<std::string> options = {});
    // Stops the simulator and removes its folder. A simulator that does not
    // end is killed, and said so on the standard error.
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The pseudo-terminal the tool opens, e.g. "/dev/pts/3".
    const std::string& DevicePath() const { return device_; }
    const std::filesystem::path& CardDir() const { return cardDir_; }

    // Every byte the simulator has received so far, raw.
    std::string WireLog() const;
    // What the simulator said on its error output (for failure messages).
    std::string Messages() const;
    // The card files in the card folder, in byte order.
    std::vector<std::string> CardFiles() const;
    void PutCardFile(const std::string& name, const std::string& content) const;

    // Freezes the simulator (SIGSTOP) so that it answers nothing more, and
    // lets it go on (SIGCONT).
    void Suspend();
    void Resume();

    // The line dropped and back, as an unplugged and replugged adapter. The
    // simulator reports each drop and each return on its output; every wait
    // below takes the next report of its kind not yet waited for, so a drop
    // that has happened already (e.g. by --drop-after-bytes) is not missed.
    // A report that does not come within 20 s throws std::runtime_error.
    //
    // DropLine: drops the line (SIGUSR1) and waits until it is back, after
    // --drop-pause. CutLine: drops it and waits only until it is gone.
    // RestoreLine: brings a cut line back at once (SIGUSR1) and waits for it;
    // for a line cut with a --drop-pause that does not run out first.
    void DropLine();
    void CutLine();
    void RestoreLine();
    void WaitLineDown();
    // Returns the new device path, which DevicePath() then also gives.
    const std::string& WaitLineBack();

    // The controller silent (SIGUSR2): the line stays, nothing is answered
    // or acted on. Each returns once the simulator has said it is silent or
    // answering again; bytes sent after that meet the new state.
    // EndSilence is for a silence without --silent-for; a silence with it
    // ends by itself: WaitAnswering waits for that.
    void BeginSilence();
    void EndSilence();
    void WaitAnswering();
    // Stops the simulator (SIGTERM) and returns its exit code, or -1 when it
    // did not end normally. One that has not ended within 10 s is killed
    // (SIGKILL) and std::runtime_error says so, with the simulator's
    // messages. Once stopped, later calls return -1.
    int Stop();
    // Whether it was started and has not been stopped.
    bool Running() const { return pid_ > 0; }

private:
    // Counts of what the simulator has reported and what was waited for.
    struct Reports {
        int dropped = 0;
        int back = 0;
        int silent = 0;
        int answering = 0;
    };

    void Signal(int signo);
    // Reads reports until `count` (of reported_) exceeds what `waited` says,
    // then counts one more waited for.
    void WaitFor(int Reports::*count);
    void ReadReport();

    TempFolder dir_;
    std::filesystem::path cardDir_;
    std::string device_;
    pid_t pid_ = -1;
    int stdout_ = -1;
    bool suspended_ = false;
    Reports reported_;
    Reports waited_;
};

// A card name as the controller lists it: padded with blanks to 8 bytes.
std::string Listed(const std::string& name);

// What the link sends to identify the controller and list its card.
inline const std::string kHandshakeCommands = "SNMBDVR>";
// Job-file lines as their frames carry them: each with CR LF.
std::string Frames(const std::vector<std::string>& lines);
// The header frame of an upload: the card name and the size of its frames.
std::string UploadHeader(const std::string& cardName, std::size_t size);

}  // namespace cardpush::testing
