#include "jobs/validation.h"

#include "jobs/job_texts.h"

namespace cardpush {

bool ValidateJobLine(std::string_view line, const ShowMessageFn& showMessage)
{
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) {
        return true;
    }
    const std::string_view sizeField = line.substr(0, blank);

    bool acceptable = true;
    bool separatorSeen = false;
    const std::size_t start = !sizeField.empty() && sizeField.front() == '-' ? 1 : 0;
    for (std::size_t i = start; i < sizeField.size(); ++i) {
        const char c = sizeField[i];
        if (c == ',' || c == '.') {
            if (separatorSeen) {
                showMessage(job_texts::kSeveralDecimalPoints.str() + std::string(sizeField));
                acceptable = false;
            }
            separatorSeen = true;
        } else if (c < '0' || c > '9') {
            showMessage(job_texts::kBadSizeCharacters.str() + std::string(sizeField));
            acceptable = false;
        }
    }
    return acceptable;
}

}  // namespace cardpush
