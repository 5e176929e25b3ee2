// Temporary folders and whole-file reads for the tests: one way to
// make a folder of a test's own and to look at what lands in it.
#pragma once

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

namespace cardpush::testing {

// A fresh folder under the system's temporary folder, removed with all it
// holds when it goes. Throws std::system_error when it cannot be made.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "cardpush")
    {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec) {
            base = "/tmp";
        }
#ifdef _WIN32
        // No mkdtemp: a random name, made only if nobody has it.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const auto candidate = base / (prefix + "-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, ec)) {
                path_ = candidate;
            }
        }
        if (path_.empty()) {
            throw std::system_error(ec, "no temporary folder under " + base.string());
        }
#else
        std::string pattern = (base / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
        }
        path_ = pattern;
#endif
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const
    {
        return path_;
    }
    std::filesystem::path operator/(const std::string& name) const
    {
        return path_ / name;
    }

private:
    std::filesystem::path path_;
};

// A file's bytes as they stand; empty when it cannot be read.
inline std::string ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace cardpush::testing
