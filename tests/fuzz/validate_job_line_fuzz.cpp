// ValidateJobLine on any line: rejected exactly when it showed a message;
// every message is one of the two, naming the whole size field; at most one
// per character; nothing after the first blank matters.
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "jobs/job_texts.h"
#include "jobs/validation.h"

namespace {

bool Validate(std::string_view line, std::vector<std::string>& messages)
{
    return cardpush::ValidateJobLine(line, [&](const std::string& m) { messages.push_back(m); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    namespace texts = cardpush::job_texts;
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> messages;
    const bool acceptable = Validate(line, messages);
    FUZZ_CHECK(acceptable == messages.empty());

    const std::size_t blank = line.find(' ');
    const std::string sizeField(blank == std::string_view::npos ? "" : line.substr(0, blank));
    FUZZ_CHECK(messages.size() <= sizeField.size());
    for (const std::string& message : messages) {
        FUZZ_CHECK(message == texts::kBadSizeCharacters.str() + sizeField ||
                   message == texts::kSeveralDecimalPoints.str() + sizeField);
    }

    if (blank != std::string_view::npos) {
        std::vector<std::string> again;
        const std::string fieldOnly = sizeField + " ";
        FUZZ_CHECK(Validate(fieldOnly, again) == acceptable);
        FUZZ_CHECK(again == messages);
    }
    return 0;
}
