// One job file's way to the card: read and checked, then read again and
// sent, each off the GUI thread while the host shows the progress.
//
// A job file is read once per step and its content checked before it is
// sent; what was checked is what is sent. Every job file that is not sent
// gets its journal line saying why.
//
// GUI thread (the reading and writing run on the host's worker).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "jobs/command_host.h"
#include "jobs/listing_proof.h"
#include "link/card_link.h"

namespace cardpush {

// The largest job file the tool sends. A controller's card holds far less;
// the cap keeps a wrong file (a disk image, a video) from being read into
// memory and announced to the controller.
inline constexpr std::uint64_t kMaxJobFileBytes = std::uint64_t{64} << 20;

// The job files of folder (ListFolder's "*.txt"), as whole paths, in the
// order the system lists them; none for a missing folder or none named.
std::vector<std::filesystem::path> JobFilesIn(const std::filesystem::path& folder);

// A job file that passed its checks, ready to be sent.
struct CheckedJob {
    std::filesystem::path fileName;
    std::filesystem::path path;
    std::string cardName;
    std::uint64_t contentHash = 0;
    std::uint64_t size = 0;
};

class JobUploads {
public:
    // The link and the host must outlive this.
    JobUploads(CardLink& link, CardCommandsHost& host);

    // Reads and checks one job file of folder, shows what is wrong with it
    // (the name-change message too); nothing when it must not be sent. A
    // close asked for while its messages show ends them.
    std::optional<CheckedJob> Check(const std::filesystem::path& folder,
                                    const std::filesystem::path& fileName);
    // Checks the job files at paths in their order, with their messages;
    // returns those ready to go, one per card name. Nothing when the
    // operator asked to stop meanwhile.
    std::vector<CheckedJob> CheckAll(const std::vector<std::filesystem::path>& paths);
    // Sends a checked job file on connection if it is still what was
    // checked. A file that has changed or gone meanwhile is skipped, with a
    // message; a frame that can't go out ends the command (thrown).
    std::optional<SentJobFile> Send(const CheckedJob& job, const LinkConnection& connection);

    // Journals the uploads of jobs as not done, for why.
    void NotSent(const std::vector<CheckedJob>& jobs, const std::string& why,
                 CardOperation::Failure failure = CardOperation::Failure::Failed);

private:
    void Ended(const std::string& cardName, const std::filesystem::path& path,
               std::optional<std::uint64_t> bytes, const std::string& result,
               CardOperation::Failure failure = CardOperation::Failure::Failed);

    CardLink& link_;
    CardCommandsHost& host_;
};

}  // namespace cardpush
