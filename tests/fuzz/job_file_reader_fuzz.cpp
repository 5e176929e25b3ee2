// The job-file reader on any bytes: no line holds LF, CR or 0x1A; the lines
// joined with CR LF read back to the same lines; the header of their upload
// announces exactly the bytes the line frames carry, which the gathered
// writes carry in order.
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "jobs/job_file.h"
#include "link/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = cardpush::ReadJobLines(bytes);

    std::string rejoined;
    for (const std::string& line : lines) {
        FUZZ_CHECK(line.find_first_of("\n\r\x1A") == std::string::npos);
        rejoined += cardpush::protocol::LineFrame(line);
    }
    FUZZ_CHECK(cardpush::ReadJobLines(rejoined) == lines);

    const cardpush::JobShape shape = cardpush::ShapeOfJob(bytes);
    FUZZ_CHECK(shape.lines == lines.size());
    FUZZ_CHECK(shape.payloadBytes == rejoined.size());
    FUZZ_CHECK(cardpush::ShapeOfJob(rejoined).loneCrLine == 0);
    const cardpush::JobUpload upload = cardpush::MakeJobUpload("CARD", shape);
    FUZZ_CHECK(upload.header == "<CARD\\" + std::to_string(rejoined.size()) + "\\");
    // The gathered writes carry the line frames in order, each within the
    // limit unless it is a single frame.
    std::string gathered;
    std::size_t gatheredLines = 0;
    cardpush::GatherLineFrames(bytes, 16, [&](std::string_view write, std::size_t count) {
        FUZZ_CHECK(write.size() <= 16 || count == 1);
        gathered += write;
        gatheredLines += count;
    });
    FUZZ_CHECK(gathered == rejoined);
    FUZZ_CHECK(gatheredLines == lines.size());
    // A file that already has CR LF line ends and nothing else special is
    // announced with its size on disk.
    if (bytes == rejoined) {
        FUZZ_CHECK(upload.payloadBytes == size);
    }
    return 0;
}
