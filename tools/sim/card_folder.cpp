#include "sim/card_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace cardpush::sim {
namespace {

[[noreturn]] void ThrowErrno(const std::string& what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

bool IsCardName(std::string_view name)
{
    if (name.empty() || name.size() > kCardNameLength || name.front() == '.') {
        return false;
    }
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return c > 0x20 && c < 0x7F && c != '/' && c != '\\'; });
}

CardFolder::CardFolder(std::filesystem::path dir) : dir_(std::move(dir)) {}

std::vector<std::string> CardFolder::List() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
        std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && IsCardName(name)) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool CardFolder::Remove(std::string_view name)
{
    if (!IsCardName(name)) {
        return false;
    }
    return std::filesystem::remove(dir_ / std::string(name));
}

void CardFolder::Store(std::string_view name, std::string_view content)
{
    // Written beside the target under a dot name and renamed, so a listing taken meanwhile
    // never shows half a file.
    const std::filesystem::path target = dir_ / std::string(name);
    std::string temp = (dir_ / ".upload-XXXXXX").string();
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        ThrowErrno("create " + temp);
    }
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const int saved = errno;
            close(fd);
            unlink(temp.c_str());
            errno = saved;
            ThrowErrno("write " + temp);
        }
        done += static_cast<std::size_t>(n);
    }
    // mkstemp makes the file private; a card file is an ordinary file for whoever looks.
    fchmod(fd, 0644);
    if (close(fd) != 0 || rename(temp.c_str(), target.c_str()) != 0) {
        const int saved = errno;
        unlink(temp.c_str());
        errno = saved;
        ThrowErrno("store " + target.string());
    }
}

}  // namespace cardpush::sim
